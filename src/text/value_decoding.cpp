#include "text/value_decoding.hpp"

#include <array>
#include <cstring>

#include "text/clean_value.hpp"
#include "text/code_pages.hpp"
#include "text/escapes.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/utf8.hpp"

namespace cardtab {

namespace {

// Stands for a byte that is no character: not part of a valid UTF-8
// sequence, or left undefined by its code page.
constexpr char32_t kNoCharacter = 0xFFFFFFFF;
constexpr char kUnknownCharacter = '?';

// `upper` is in upper case.
bool equals_in_any_case(std::string_view text, std::string_view upper)
{
    if (text.size() != upper.size()) {
        return false;
    }
    for (std::size_t n = 0; n < text.size(); ++n) {
        if (upper_ascii_byte(text[n]) != upper[n]) {
            return false;
        }
    }
    return true;
}

// Where `upper` (in upper case) first stands in `text`, in any letter case.
// It is found by its byte at `mark`, which is no letter: a scan for one
// byte rather than a comparison at every position.
std::size_t find_in_any_case(std::string_view text, std::string_view upper, std::size_t mark)
{
    for (std::size_t at = mark; at + (upper.size() - mark) <= text.size(); ++at) {
        if (text[at] == upper[mark] && equals_in_any_case(text.substr(at - mark, upper.size()), upper)) {
            return at - mark;
        }
    }
    return std::string_view::npos;
}

struct NamedCharset {
    std::string_view name;
    Charset charset;
};
constexpr std::array<NamedCharset, 7> kCharsetNames = {{
    {"UTF-8", Charset::utf8},
    {"ISO-8859-1", Charset::iso_8859_1},
    {"ISO-8859-2", Charset::iso_8859_2},
    {"WINDOWS-1250", Charset::windows_1250},
    {"CP1250", Charset::windows_1250},
    {"WINDOWS-1252", Charset::windows_1252},
    {"CP1252", Charset::windows_1252},
}};

Charset charset_of(std::string_view prefix)
{
    constexpr std::string_view kParameter = "CHARSET=";
    const std::size_t at = find_in_any_case(prefix, kParameter, kParameter.size() - 1);
    if (at == std::string_view::npos) {
        return Charset::unnamed;
    }
    std::string_view name = prefix.substr(at + kParameter.size());
    name = name.substr(0, name.find(';'));
    for (const NamedCharset& known : kCharsetNames) {
        if (equals_in_any_case(name, known.name)) {
            return known.charset;
        }
    }
    return Charset::unnamed;
}

int hex_digit(char byte)
{
    if (byte >= '0' && byte <= '9') {
        return byte - '0';
    }
    const char upper = upper_ascii_byte(byte);
    return upper >= 'A' && upper <= 'F' ? upper - 'A' + 10 : -1;
}

// Each '=' followed by two hex digits becomes the byte they spell; any
// other '=' stays.
std::size_t undo_quoted_printable(std::string_view raw, char* out)
{
    std::size_t length = 0;
    for (std::size_t at = 0; at < raw.size();) {
        const int high = raw[at] == '=' && at + 2 < raw.size() ? hex_digit(raw[at + 1]) : -1;
        const int low = high >= 0 ? hex_digit(raw[at + 2]) : -1;
        if (low >= 0) {
            out[length++] = static_cast<char>(high * 16 + low);
            at += 3;
        } else {
            out[length++] = raw[at++];
        }
    }
    return length;
}

// Backslash escapes undone from left to right; a backslash that starts no
// escape stays, and what follows it is read on its own. The text between
// backslashes is copied as it is.
std::size_t undo_escapes(std::string_view raw, bool version_21, char* out)
{
    std::size_t length = 0;
    std::size_t at = 0;
    for (std::size_t backslash = raw.find('\\'); backslash != std::string_view::npos;
         backslash = raw.find('\\', at)) {
        raw.copy(out + length, backslash - at, at);
        length += backslash - at;
        const char byte = backslash + 1 < raw.size() ? escaped_byte(raw[backslash + 1], version_21) : '\0';
        out[length++] = byte != '\0' ? byte : '\\';
        at = byte != '\0' ? backslash + 2 : backslash + 1;
    }
    raw.copy(out + length, raw.size() - at, at);
    return length + raw.size() - at;
}

// A line cut after the bytes that are kept may end inside an escape: a '='
// with less than two hex digits, or a lone backslash.
PaddedText without_half_escape(PaddedText raw, bool quoted_printable)
{
    const char escape = quoted_printable ? '=' : '\\';
    if (raw.view().ends_with(escape)) {
        return raw.substr(0, raw.size() - 1);
    }
    if (quoted_printable && raw.size() >= 2 && raw[raw.size() - 2] == '=' && hex_digit(raw.view().back()) >= 0) {
        return raw.substr(0, raw.size() - 2);
    }
    return raw;
}

// ... or inside a UTF-8 character: a lead byte followed by fewer bytes than
// it needs.
PaddedText without_half_character(PaddedText text)
{
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80) {
            continue;
        }
        const std::size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 1;
        return needed > back && byte <= 0xF4 ? text.substr(0, text.size() - back) : text;
    }
    return text;
}

bool is_utf8(std::string_view text)
{
    char32_t ignored = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = decode_utf8(text.substr(at), ignored);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

// The characters outside U+00A0-U+017F that Windows-1250 has, with their
// bytes: the punctuation of 0x80-0x9F and the five accents of 0xA1-0xFF.
struct Encoded {
    char32_t character;
    unsigned char byte;
};
constexpr std::size_t kOtherWindows1250Characters = 27;
constexpr std::array<Encoded, kOtherWindows1250Characters> kOtherWindows1250 = [] {
    std::array<Encoded, kOtherWindows1250Characters> others{};
    std::size_t count = 0;
    for (std::size_t byte = 0x80; byte <= 0xFF; ++byte) {
        const char32_t character = kWindows1250[byte - 0x80];
        if (character != kUndefined && (character < 0xA0 || character > 0x17F)) {
            others[count++] = {character, static_cast<unsigned char>(byte)};
        }
    }
    return others;
}();

// ASCII as it is; U+00A0-U+017F as folding writes them; the rest of
// Windows-1250 as its byte; anything else, and a zero byte, which would end
// a text, as '?'.
char windows_1250_byte(char32_t character)
{
    if (character == 0) {
        return kUnknownCharacter;
    }
    if (character < 0x80) {
        return static_cast<char>(character);
    }
    if (character >= 0xA0 && character <= 0x17F) {
        return static_cast<char>(kFoldTable[character - 0xA0]);
    }
    for (const Encoded& other : kOtherWindows1250) {
        if (other.character == character) {
            return static_cast<char>(other.byte);
        }
    }
    return kUnknownCharacter;
}

// The character at the start of `text` in `charset` (never unnamed), and
// how many bytes it takes.
char32_t character_at(std::string_view text, Charset charset, std::size_t& length)
{
    const auto byte = static_cast<unsigned char>(text[0]);
    length = 1;
    if (charset == Charset::utf8) {
        char32_t character = 0;
        const std::size_t taken = decode_utf8(text, character);
        length = taken == 0 ? 1 : taken;
        return taken == 0 ? kNoCharacter : character;
    }
    if (byte < 0x80 || charset == Charset::iso_8859_1) {
        return byte;
    }
    const auto& table = charset == Charset::iso_8859_2   ? kIso8859_2
                        : charset == Charset::windows_1252 ? kWindows1252
                                                           : kWindows1250;
    const char32_t character = table[byte - 0x80];
    return character == kUndefined ? kNoCharacter : character;
}

// The decoded bytes as Windows-1250, each line break one space, until
// `out` is full; returns how much of it was written.
std::size_t to_windows_1250(std::string_view text, Charset charset, std::span<char> out)
{
    std::size_t written = 0;
    for (std::size_t at = 0; at < text.size() && written < out.size();) {
        std::size_t length = 0;
        const char32_t character = character_at(text.substr(at), charset, length);
        if (character == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            ++length;
        }
        out[written++] = character == '\r' || character == '\n' ? ' ' : windows_1250_byte(character);
        at += length;
    }
    return written;
}

} // namespace

bool holds_quoted_printable(std::string_view prefix)
{
    constexpr std::string_view kName = "QUOTED-PRINTABLE";
    return find_in_any_case(prefix, kName, kName.find('-')) != std::string_view::npos;
}

ValueEncoding encoding_of(std::string_view prefix)
{
    return {holds_quoted_printable(prefix), charset_of(prefix)};
}

std::size_t decode_value(PaddedText raw, const ValueDecoding& how, PaddedBuffer& scratch, std::span<char> value,
                         bool drop_spaces)
{
    const bool quoted_printable = how.encoding.quoted_printable;
    const bool maybe_utf8 = how.encoding.charset == Charset::unnamed || how.encoding.charset == Charset::utf8;
    // Most values are plain ASCII or UTF-8 letters of the folding table,
    // without escapes, and short enough to be taken whole: the ordinary
    // cleaning tells so as it goes, and gives the value that decoding would.
    if (!quoted_printable && !how.line_cut && maybe_utf8 && raw.size() <= value.size()) {
        if (const std::size_t length = clean_plain_value(raw, value, drop_spaces); length != kNeedsDecoding) {
            return length;
        }
    }
    if (how.line_cut) {
        raw = without_half_escape(raw, quoted_printable);
    }
    PaddedText decoded = raw;
    if (quoted_printable) {
        decoded = scratch.text(0, undo_quoted_printable(raw.view(), scratch.data()));
    } else if (std::memchr(raw.data(), '\\', raw.size()) != nullptr) {
        decoded = scratch.text(0, undo_escapes(raw.view(), how.version_21, scratch.data()));
    }
    if (how.line_cut && maybe_utf8) {
        decoded = without_half_character(decoded);
    }
    if (holds_only_folding_text(decoded, maybe_utf8)) {
        return clean_value(decoded, value, drop_spaces);
    }
    Charset charset = how.encoding.charset;
    if (charset == Charset::unnamed) {
        charset = is_utf8(decoded.view()) ? Charset::utf8 : Charset::windows_1250;
    }
    const std::size_t length = to_windows_1250(decoded.view(), charset, value);
    return clean_folded_value(value.first(length), drop_spaces);
}

} // namespace cardtab
