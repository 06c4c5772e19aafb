#pragma once

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

// A line that may be read past its end is compared a word at a time, every
// line being asked about each bound.
inline bool begins_with_bound(PaddedText text, std::string_view bound, bool any_case)
{
    static_assert(ShortText::kMaxBytes <= kReadablePast, "two words may be read from any padded text");
    if (any_case || bound.size() > ShortText::kMaxBytes) {
        return begins_with_bound(text.view(), bound, any_case);
    }
    return begins_with_short(text.data(), text.size(), short_text(bound));
}

} // namespace cardtab
