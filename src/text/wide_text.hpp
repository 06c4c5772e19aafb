#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// Text in UTF-16 or UTF-32, as Windows and some phones export cards, turned
// into UTF-8 a piece at a time.
namespace cardtab {

enum class WideForm {
    utf16_little,
    utf16_big,
    utf32_little,
    utf32_big,
};

// The form the file's first four bytes tell: a byte order mark, or ASCII
// letters with a zero byte in every second or fourth place. False where
// they tell none.
bool wide_form_of(std::string_view opening, WideForm& form);

struct WideConverted {
    std::size_t used = 0;    // bytes of the wide text taken
    std::size_t written = 0; // bytes of UTF-8 written
};

// Turns as many whole characters of `wide` into UTF-8 as `out` takes; a
// unit that is no character (a lone surrogate, past U+10FFFF) becomes
// U+FFFD. Where `at_end`, a last unit cut short becomes U+FFFD too; else it
// waits, unused, for the bytes after it.
WideConverted wide_to_utf8(std::string_view wide, WideForm form, std::span<char> out, bool at_end);

} // namespace cardtab
