#pragma once

#include <array>
#include <string_view>

#include "text/padded_text.hpp"
#include "text/text.hpp"
#include "text/words.hpp"

// The words of vCard this program reads, each spelt once, and where a card
// begins and ends: prefixes of a line, byte for byte in the ordinary mode
// and in any letter case when decoding.
namespace cardtab {

inline constexpr std::string_view kCardStart = "BEGIN:VCARD";
inline constexpr std::string_view kCardEnd = "END:";
inline constexpr std::string_view kVersion = "VERSION:";
// The version whose only escape is "\;".
inline constexpr std::string_view kVersion21 = "2.1";

// The names of the lines that frame a card, which hold no data.
inline constexpr std::array<std::string_view, 3> kFrameNames = {
    kCardStart.substr(0, kCardStart.find(':')), kCardEnd.substr(0, kCardEnd.find(':')),
    kVersion.substr(0, kVersion.find(':'))};

// The key of a parameter written without one (vCard 2.1's TEL;CELL).
inline constexpr std::string_view kTypeKey = "TYPE";
// A type, or a key of its own in vCard 4.0 (PREF=1): the line is preferred.
inline constexpr std::string_view kPreferred = "PREF";
inline constexpr std::string_view kCharsetKey = "CHARSET";
inline constexpr std::string_view kQuotedPrintable = "QUOTED-PRINTABLE";
// VALUE=uri: a value "tel:..." is a number.
inline constexpr std::string_view kValueKey = "VALUE";
inline constexpr std::string_view kUriValue = "URI";
inline constexpr std::string_view kTelephoneUri = "TEL:";
// vCard 2.1 writes a value's encoding as a bare parameter, which would read
// as a type: it says how the value is written, not what it is.
inline constexpr std::array<std::string_view, 4> kBareEncodings = {kQuotedPrintable, "BASE64", "8BIT", "7BIT"};

// A card's bound, and its first bytes as words, made when the program is
// built: every line is compared with each bound.
struct CardBound {
    std::string_view text;
    ShortText words;
};

constexpr CardBound card_bound(std::string_view text)
{
    return {text, short_text(text)};
}

inline constexpr CardBound kStartBound = card_bound(kCardStart);
inline constexpr CardBound kEndBound = card_bound(kCardEnd);
inline constexpr CardBound kVersionBound = card_bound(kVersion);

// The first byte is looked at first: most lines are no bound.
inline bool begins_with_bound(std::string_view text, std::string_view bound, bool any_case)
{
    if (any_case) {
        return !text.empty() && upper_ascii_byte(text[0]) == bound[0] && begins_in_any_case(text, bound);
    }
    return !text.empty() && text[0] == bound[0] && text.starts_with(bound);
}

// A line that may be read past its end is compared a word at a time.
inline bool begins_with_bound(PaddedText text, const CardBound& bound, bool any_case)
{
    static_assert(ShortText::kMaxBytes <= kReadablePast, "two words may be read from any padded text");
    static_assert(kCardStart.size() <= ShortText::kMaxBytes && kVersion.size() <= ShortText::kMaxBytes);
    if (any_case) {
        return begins_with_bound(text.view(), bound.text, any_case);
    }
    return begins_with_short(text.data(), text.size(), bound.words);
}

} // namespace cardtab
