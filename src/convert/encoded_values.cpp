#include "convert/encoded_values.hpp"

#include "config/records.hpp"
#include "text/escapes.hpp"
#include "text/text.hpp"
#include "text/utf8.hpp"
#include "text/value_decoding.hpp"

namespace cardtab {

namespace {

void count_encoded(EncodedValues& seen, std::size_t values, std::size_t line_number)
{
    seen.first_line = seen.count == 0 ? line_number : seen.first_line;
    seen.count += values;
}

bool is_hex_digit(char byte)
{
    const char upper = upper_ascii_byte(byte);
    return (byte >= '0' && byte <= '9') || (upper >= 'A' && upper <= 'F');
}

// Quoted-printable that decoding changes: an encoded byte, or a soft line
// break at the end.
bool holds_quoted_printable_code(std::string_view text)
{
    for (std::size_t at = text.find('='); at != std::string_view::npos; at = text.find('=', at + 1)) {
        if (at + 2 < text.size() && is_hex_digit(text[at + 1]) && is_hex_digit(text[at + 2])) {
            return true;
        }
    }
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return last != std::string_view::npos && text[last] == '=';
}

// UTF-8 that folding writes as it stands: a character of three or four
// bytes, or of two outside U+00A0-U+017F.
bool holds_unfolded_utf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            ++at;
            continue;
        }
        char32_t character = 0;
        const std::size_t length = decode_utf8(text.substr(at), character);
        if (length > 2 || (length == 2 && (character < 0xA0 || character > 0x17F))) {
            return true;
        }
        at += length == 0 ? 1 : length;
    }
    return false;
}

// The prefix names a character set other than UTF-8 (or ASCII, which reads
// the same): decoding writes such values in Windows-1250.
bool names_other_charset(std::string_view prefix)
{
    constexpr std::string_view kCharset = "CHARSET=";
    bool holds = false;
    for (std::size_t at = 0; !holds && at + kCharset.size() <= prefix.size(); ++at) {
        holds = begins_in_any_case(prefix.substr(at), kCharset);
    }
    if (!holds) {
        return false;
    }
    const ValueEncoding encoding = encoding_of(prefix);
    return (encoding.charset != Charset::unnamed && encoding.charset != Charset::utf8) ||
           !encoding.unknown_charset.empty();
}

} // namespace

bool note_piece(EncodedValues& seen, std::string_view text, std::size_t line_number)
{
    if (line_number == seen.last_line) {
        return false;
    }
    seen.last_line = line_number;
    if (seen.pending != 0 && !text.empty() && (text[0] == ' ' || text[0] == '\t')) {
        count_encoded(seen, seen.pending, seen.pending_line);
    }
    seen.pending = 0;
    return true;
}

void note_values(EncodedValues& seen, std::string_view prefix, std::string_view value_text, std::size_t values,
                 bool version_21, std::size_t line_number)
{
    // The value taken holds a backslash, and the line an escape.
    const std::string_view taken = value_text.substr(0, kMaxValueBytes);
    const bool escaped = taken.find('\\') != std::string_view::npos && holds_escape(value_text, version_21);
    const bool quoted_printable = holds_quoted_printable(prefix) && holds_quoted_printable_code(value_text);
    if (escaped || quoted_printable || holds_unfolded_utf8(value_text.substr(0, 2 * kMaxValueBytes)) ||
        names_other_charset(prefix)) {
        count_encoded(seen, values, line_number);
    } else {
        seen.pending += values;
        seen.pending_line = line_number;
    }
}

bool may_name_property_otherwise(std::string_view line)
{
    if (!line.empty() && line[0] >= 'a' && line[0] <= 'z') {
        return true;
    }
    for (const char byte : line) {
        if (byte == ';' || byte == ':') {
            return false;
        }
        if (byte == '.') {
            return true;
        }
    }
    return false;
}

void note_property_not_taken(EncodedValues& seen, std::size_t line_number)
{
    seen.first_property_not_taken_line =
        seen.properties_not_taken++ == 0 ? line_number : seen.first_property_not_taken_line;
}

} // namespace cardtab
