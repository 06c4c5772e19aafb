#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace cardtab {

inline constexpr std::size_t kReadablePastValueText = 7;

// Makes a column's value from the text after a card line's colon, in one
// pass: the first value.size() bytes of the text folded (fold_utf8_line),
// each semicolon made a space and each accented letter its plain letter
// (strip_diacritics), every space dropped when `drop_spaces`, and the
// trailing spaces, line feeds and carriage returns trimmed (trim_value).
// Writes the value at the start of `value` and returns its length. Reads up
// to kReadablePastValueText bytes past the end of `text`, which mean
// nothing there.
std::size_t clean_value(std::string_view text, std::span<char> value, bool drop_spaces);

// The same value rules on a text that is already Windows-1250, in place:
// semicolons as spaces, every space dropped when `drop_spaces`, accented
// letters plain, trailing spaces, line feeds and CRs trimmed. Returns the
// new length.
std::size_t clean_folded_value(std::span<char> text, bool drop_spaces);

// The two ways clean_value can go, which the tests hold against each other:
// eight bytes at a time on any processor, or sixty-four at a time on one
// with AVX-512 VBMI2, which clean_value takes wherever it runs on one.
enum class CleanWay {
    words,
    wide,
};
bool can_clean_wide();
std::size_t clean_value_by(CleanWay way, std::string_view text, std::span<char> value, bool drop_spaces);

} // namespace cardtab
