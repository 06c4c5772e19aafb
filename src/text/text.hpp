#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// Byte operations on texts. A text is a run of bytes compared exactly; no
// operation knows of any character encoding or locale.
namespace cardtab {

inline constexpr std::ptrdiff_t kNotFound = -1;

// Position of `pattern` in `subject` at or after `start`, or kNotFound.
// The scan never backs up after a partial match: the byte that broke a
// partial match is not tried again as the start of a new one, so 'aab'
// searched for 'ab' gives kNotFound. Column tags, title marks and the
// configuration's line kinds all rely on exactly this rule.
std::ptrdiff_t find_text(std::string_view subject, std::string_view pattern, std::size_t start);

// True exactly when find_text(subject, pattern, 0) == 0, without scanning
// the rest of the subject: an empty pattern begins only the empty subject.
inline bool begins_with(std::string_view subject, std::string_view pattern)
{
    if (pattern.empty()) {
        return subject.empty();
    }
    if (subject.size() < pattern.size()) {
        return false;
    }
    for (std::size_t n = 0; n < pattern.size(); ++n) {
        if (subject[n] != pattern[n]) {
            return false;
        }
    }
    return true;
}

// At most `count` bytes of `source` from `start` (start <= source.size()).
inline std::string_view take_span(std::string_view source, std::size_t start, std::size_t count)
{
    return source.substr(start, count);
}

// The blanks that each place trims, each set named once.
// The rules' own trim (trim_right): spaces and line feeds; tabs and CRs stay.
inline constexpr std::string_view kSpacesAndLineFeeds = " \n";
// A value's end: also carriage returns. A card file with CR CR LF line ends
// (as iPhones export them) leaves a CR at the end of every line, which must
// not reach the table; a CR inside a value stays.
inline constexpr std::string_view kValueBlanks = " \n\r";
// Around a word of cardtab.ini, and after a quoted-printable soft break.
inline constexpr std::string_view kBlanks = " \t\r\n";
// Within a line: spaces, tabs and carriage returns.
inline constexpr std::string_view kLineBlanks = " \t\r";
// What continues a vCard line, and may stand around a tag.
inline constexpr std::string_view kSpaceAndTab = " \t";

constexpr bool is_one_of(char byte, std::string_view set)
{
    for (const char member : set) {
        if (byte == member) {
            return true;
        }
    }
    return false;
}

// `text` without the bytes of `blanks` at its end.
constexpr std::string_view trim_end(std::string_view text, std::string_view blanks)
{
    while (!text.empty() && is_one_of(text.back(), blanks)) {
        text.remove_suffix(1);
    }
    return text;
}

// `text` without the bytes of `blanks` at either end.
constexpr std::string_view trim_both(std::string_view text, std::string_view blanks)
{
    text = trim_end(text, blanks);
    while (!text.empty() && is_one_of(text.front(), blanks)) {
        text.remove_prefix(1);
    }
    return text;
}

// `text` holds a byte that is not in `blanks`.
constexpr bool holds_other_than(std::string_view text, std::string_view blanks)
{
    return !trim_end(text, blanks).empty();
}

// `source` without its trailing spaces and line feeds; tabs and CRs stay,
// as the rules have it.
constexpr std::string_view trim_right(std::string_view source)
{
    return trim_end(source, kSpacesAndLineFeeds);
}

// A value without its trailing spaces, line feeds and carriage returns.
constexpr std::string_view trim_value(std::string_view value)
{
    return trim_end(value, kValueBlanks);
}

// Deletes every byte `c` from `text` in place; returns the new length.
std::size_t remove_char(std::span<char> text, char c);

// A byte a-z as A-Z; every other byte, 0x80-0xFF included, as it is.
constexpr char upper_ascii_byte(char byte)
{
    return byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - ('a' - 'A')) : byte;
}

// The two texts are equal in any ASCII letter case.
inline bool equals_in_any_case(std::string_view text, std::string_view other)
{
    if (text.size() != other.size()) {
        return false;
    }
    for (std::size_t n = 0; n < text.size(); ++n) {
        if (upper_ascii_byte(text[n]) != upper_ascii_byte(other[n])) {
            return false;
        }
    }
    return true;
}

// The value of a hexadecimal digit in either case, or -1.
inline int hex_digit(char byte)
{
    if (byte >= '0' && byte <= '9') {
        return byte - '0';
    }
    const char upper = upper_ascii_byte(byte);
    return upper >= 'A' && upper <= 'F' ? upper - 'A' + 10 : -1;
}

// `text` begins with `prefix`, in any letter case.
inline bool begins_in_any_case(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equals_in_any_case(text.substr(0, prefix.size()), prefix);
}

// `text` ends with `suffix`, in any letter case.
inline bool ends_in_any_case(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && equals_in_any_case(text.substr(text.size() - suffix.size()), suffix);
}

// Notepad and other Windows editors may begin a UTF-8 file with these
// bytes, and two exports joined with cat hold them at the second's start.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Asked of every line when decoding: three byte compares, not a call.
inline bool begins_with_byte_order_mark(std::string_view text)
{
    return text.size() >= kByteOrderMark.size() && text[0] == kByteOrderMark[0] && text[1] == kByteOrderMark[1] &&
           text[2] == kByteOrderMark[2];
}

// Turns a-z into A-Z in place; every other byte stays.
void upper_ascii(std::span<char> text);

} // namespace cardtab
