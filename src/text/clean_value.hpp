#pragma once

#include <cstddef>
#include <span>

#include "text/padded_text.hpp"
#include "text/value_rules.hpp"

// A column's value made from the text after a card line's colon in one
// pass, the fast way: the text folded as fold_utf8_line folds it, then the
// value rules (apply_value_rules), all through the tables of the table's
// character set.
namespace cardtab {

// The first value.size() bytes of the folded text, cleaned, at the start
// of `value`; returns the value's length. Where `plain` is given, it tells
// whether the bytes taken are plain: such as clean_plain_value takes.
std::size_t clean_value(PaddedText text, std::span<char> value, bool drop_spaces, const ValueTables& tables,
                        bool* plain = nullptr);

// The same where `text` holds only bytes that decoding reads as folding
// does: ASCII without control characters (but the tab), DEL and the
// backslash, which may begin an escape, and the two-byte sequences that
// folding covers. Where it holds another, kNeedsDecoding is returned.
// Decoding takes most values this way, in the one pass.
inline constexpr std::size_t kNeedsDecoding = static_cast<std::size_t>(-1);
std::size_t clean_plain_value(PaddedText text, std::span<char> value, bool drop_spaces, const ValueTables& tables);

// Whether the text, cleaned into `capacity` bytes as clean_value cleans
// it, loses anything but spaces, CRs and line feeds: a value cut at its
// capacity that loses more than blanks is worth a word.
bool cleaning_cuts_text(PaddedText text, std::size_t capacity, const ValueTables& tables);

// ASCII without control characters (but the tab) and DEL, and, when
// `pairs`, the two-byte sequences that folding covers: text that decoding
// as UTF-8 reads just as folding does.
bool holds_only_folding_text(PaddedText text, bool pairs);

// Every byte of 0x80 or more begins one of the two-byte sequences that
// folding covers: UTF-8 that the tables of every set write as it is meant.
bool high_bytes_are_covered_pairs(PaddedText text);

// The two ways clean_value can go, which the tests hold against each other
// and against the value rules: eight bytes at a time on any processor
// (clean_value.cpp), or sixty-four at a time on one with AVX-512 VBMI2
// (clean_value_avx512.cpp), which clean_value takes wherever it runs on
// one. Ask for the second only where can_clean_with_avx512().
std::size_t clean_value_with_words(PaddedText text, std::span<char> value, bool drop_spaces, const ValueTables& tables,
                                   bool* plain);
std::size_t clean_value_with_avx512(PaddedText text, std::span<char> value, bool drop_spaces,
                                    const ValueTables& tables, bool* plain);
bool can_clean_with_avx512();

} // namespace cardtab
