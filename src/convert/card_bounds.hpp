#pragma once

#include <algorithm>
#include <bit>
#include <string_view>

#include "text/padded_text.hpp"
#include "text/text.hpp"
#include "text/words.hpp"

// Where a card begins and ends, and its version line: prefixes of a line,
// byte for byte in the ordinary mode and in any letter case when decoding.
namespace cardtab {

inline constexpr std::string_view kCardStart = "BEGIN:VCARD";
inline constexpr std::string_view kCardEnd = "END:";
inline constexpr std::string_view kVersion = "VERSION:";

// The first byte is looked at first: most lines are no bound.
inline bool begins_with_bound(std::string_view text, std::string_view bound, bool any_case)
{
    if (any_case) {
        return !text.empty() && upper_ascii_byte(text[0]) == bound[0] && begins_in_any_case(text, bound);
    }
    return !text.empty() && text[0] == bound[0] && text.starts_with(bound);
}

// The first eight bytes of `bytes` (or fewer) as a word, low byte first.
constexpr Word word_of(std::string_view bytes)
{
    Word word = 0;
    for (std::size_t n = std::min(bytes.size(), sizeof(Word)); n > 0; --n) {
        word = word << 8 | static_cast<unsigned char>(bytes[n - 1]);
    }
    return word;
}

// A line that may be read past its end is compared a word at a time, every
// line being asked about each bound.
inline bool begins_with_bound(PaddedText text, std::string_view bound, bool any_case)
{
    static_assert(std::endian::native == std::endian::little, "the first byte of a word is its lowest");
    if (any_case || bound.size() > kReadablePast) {
        return begins_with_bound(text.view(), bound, any_case);
    }
    if (text.size() < bound.size()) {
        return false;
    }
    Word differ = 0;
    for (std::size_t at = 0; at < bound.size(); at += sizeof(Word)) {
        const std::size_t bytes = std::min(bound.size() - at, sizeof(Word));
        const Word mask = bytes == sizeof(Word) ? ~Word{0} : (Word{1} << (8 * bytes)) - 1;
        differ |= (load_word(text.data() + at) ^ word_of(bound.substr(at))) & mask;
    }
    return differ == 0;
}

} // namespace cardtab
