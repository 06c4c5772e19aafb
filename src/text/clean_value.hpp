#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "text/diacritics.hpp"
#include "text/padded_text.hpp"

namespace cardtab {

// What each byte of a value becomes: semicolons spaces and accented letters
// plain ones, in one table. The two rules never meet, and neither makes a
// space from anything but a semicolon, so they can be applied together,
// before spaces are dropped.
inline constexpr std::array<char, 256> kCleanedBytes = [] {
    std::array<char, 256> table = kWithoutDiacritics;
    table[static_cast<unsigned char>(';')] = ' ';
    return table;
}();

// Makes a column's value from the text after a card line's colon, in one
// pass: the first value.size() bytes of the text folded (fold_utf8_line),
// each semicolon made a space and each accented letter its plain letter
// (strip_diacritics), every space dropped when `drop_spaces`, and the
// trailing spaces, line feeds and carriage returns trimmed (trim_value).
// Writes the value at the start of `value`; returns its length. Where
// `plain` is given, it tells whether the bytes taken are plain: such as
// clean_plain_value takes.
std::size_t clean_value(PaddedText text, std::span<char> value, bool drop_spaces, bool* plain = nullptr);

// The same where `text` holds only bytes that decoding reads as folding
// does: ASCII without control characters (but the tab), DEL and the
// backslash, which may begin an escape, and the two-byte sequences that
// folding covers. Where it holds another, kNeedsDecoding is returned.
// Decoding takes most values this way, in the one pass.
inline constexpr std::size_t kNeedsDecoding = static_cast<std::size_t>(-1);
std::size_t clean_plain_value(PaddedText text, std::span<char> value, bool drop_spaces);

// ASCII without control characters (but the tab) and DEL, and, when
// `pairs`, the two-byte sequences that folding covers: text that decoding
// as UTF-8 reads just as folding does.
bool holds_only_folding_text(PaddedText text, bool pairs);

// The same value rules on a text that is already Windows-1250, in place:
// semicolons as spaces, every space dropped when `drop_spaces`, accented
// letters plain, trailing spaces, line feeds and CRs trimmed. Returns the
// new length.
std::size_t clean_folded_value(std::span<char> text, bool drop_spaces);

// The two ways clean_value can go, which the tests hold against each other:
// eight bytes at a time on any processor (clean_value.cpp), or sixty-four at
// a time on one with AVX-512 VBMI2 (clean_value_avx512.cpp), which
// clean_value takes wherever it runs on one. Ask for the second only where
// can_clean_with_avx512().
std::size_t clean_value_with_words(PaddedText text, std::span<char> value, bool drop_spaces, bool* plain);
std::size_t clean_value_with_avx512(PaddedText text, std::span<char> value, bool drop_spaces, bool* plain);
bool can_clean_with_avx512();

} // namespace cardtab
