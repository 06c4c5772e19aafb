#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace cardtab {

inline constexpr std::size_t kReadablePastValueText = 7;

struct CleanedValue {
    std::size_t length = 0;
    // The bytes taken hold a backslash, which may begin an escape. The wide
    // way sees it for free among the bytes it looks at anyway. (Small
    // enough, with the other fields, to come back in two registers.)
    bool holds_backslash = false;
    // When asked for (`check_text`): the bytes taken are such as
    // holds_only_folding_text accepts with pairs, so that decoding them
    // would give the same value.
    bool only_folding_text = false;
};

// Makes a column's value from the text after a card line's colon, in one
// pass: the first value.size() bytes of the text folded (fold_utf8_line),
// each semicolon made a space and each accented letter its plain letter
// (strip_diacritics), every space dropped when `drop_spaces`, and the
// trailing spaces, line feeds and carriage returns trimmed (trim_value).
// Writes the value at the start of `value`. Reads up to
// kReadablePastValueText bytes past the end of `text`, which mean nothing
// there.
CleanedValue clean_value(std::string_view text, std::span<char> value, bool drop_spaces, bool check_text = false);

// ASCII without CR, LF and the zero byte, and, when `pairs`, the two-byte
// sequences that folding covers: text that decoding as UTF-8 reads just as
// folding does. Reads up to seven bytes past the end of the text.
bool holds_only_folding_text(std::string_view text, bool pairs);

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
CleanedValue clean_value_by(CleanWay way, std::string_view text, std::span<char> value, bool drop_spaces,
                            bool check_text = false);

} // namespace cardtab
