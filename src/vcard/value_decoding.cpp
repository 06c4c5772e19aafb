#include "vcard/value_decoding.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "text/clean_value.hpp"
#include "text/code_pages.hpp"
#include "vcard/escapes.hpp"
#include "vcard/names.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/utf8.hpp"
#include "vcard/prefix.hpp"

namespace cardtab {

namespace {

// Stands for a byte that is no character: not part of a valid UTF-8
// sequence, or left undefined by its code page.
constexpr char32_t kNoCharacter = kUnknownCharacter;

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

// Named, these sets hold only ASCII: a value is read as one without a set.
constexpr std::array<std::string_view, 2> kAsciiNames = {"US-ASCII", "ASCII"};

// The first value of the prefix's first CHARSET parameter, compared in any
// letter case with the names of the known character sets.
void read_charset(const SplitParameters& parameters, ValueEncoding& encoding)
{
    bool named = false;
    const std::string_view name = first_parameter_value(parameters, kCharsetKey, named);
    if (!named) {
        return;
    }
    for (const NamedCharset& known : kCharsetNames) {
        if (equals_unquoted(name, known.name)) {
            encoding.charset = known.charset;
            return;
        }
    }
    for (const std::string_view ascii : kAsciiNames) {
        if (equals_unquoted(name, ascii)) {
            return;
        }
    }
    encoding.unknown_charset = name;
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
// with less than two hex digits; a backslash in a vCard 2.1 card; in other
// cards a backslash that ends an odd run of them.
PaddedText without_half_escape(PaddedText raw, bool quoted_printable, bool version_21)
{
    const std::string_view text = raw.view();
    if (quoted_printable) {
        if (text.ends_with('=')) {
            return raw.substr(0, raw.size() - 1);
        }
        const bool half = text.size() >= 2 && text[text.size() - 2] == '=' && hex_digit(text.back()) >= 0;
        return half ? raw.substr(0, raw.size() - 2) : raw;
    }
    const std::size_t run = text.size() - (text.find_last_not_of('\\') + 1);
    return run % 2 == 1 || (version_21 && run > 0) ? raw.substr(0, raw.size() - 1) : raw;
}

bool holds_multibyte_sequence(std::string_view text)
{
    for (const char byte : text) {
        if (static_cast<unsigned char>(byte) >= 0x80) {
            return true;
        }
    }
    return false;
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

// The decoded text in the table's character set, each line break one space
// and every control character but the tab '?', until `out` is full;
// returns how much of it was written, and through `read` how many bytes of
// the text that took.
std::size_t to_table_text(std::string_view text, Charset charset, TableCharset table, std::span<char> out,
                          std::size_t& read)
{
    std::size_t written = 0;
    std::size_t at = 0;
    while (at < text.size() && written < out.size()) {
        std::size_t length = 0;
        char32_t character = character_at(text.substr(at), charset, length);
        if (character == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            ++length;
        }
        character = character == '\r' || character == '\n' ? kSpace
                    : is_control(character)                ? kUnknownCharacter
                                                           : character;
        const EncodedCharacter encoded = encode_character(character, table);
        if (written + encoded.length > out.size()) {
            break;
        }
        std::copy_n(encoded.bytes.data(), encoded.length, out.data() + written);
        written += encoded.length;
        at += length;
    }
    read = at;
    return written;
}

} // namespace

bool holds_quoted_printable(std::string_view prefix)
{
    return find_in_any_case(prefix, kQuotedPrintable, kQuotedPrintable.find('-')) != std::string_view::npos;
}

ValueEncoding encoding_of(std::string_view prefix, const SplitParameters& parameters)
{
    ValueEncoding encoding;
    encoding.quoted_printable = holds_quoted_printable(prefix);
    read_charset(parameters, encoding);
    return encoding;
}

ValueEncoding encoding_of(std::string_view prefix)
{
    SplitParameters parameters;
    split_parameters(split_prefix(prefix).parameters, parameters);
    return encoding_of(prefix, parameters);
}

std::size_t value_component(std::string_view bytes, std::size_t component, bool version_21, std::size_t& length)
{
    std::size_t start = 0;
    std::size_t number = 1;
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        if (bytes[at] == '\\' && at + 1 < bytes.size() && (!version_21 || bytes[at + 1] == ';')) {
            ++at;
        } else if (bytes[at] == ';') {
            if (number == component) {
                length = at - start;
                return start;
            }
            ++number;
            start = at + 1;
        }
    }
    length = number == component ? bytes.size() - start : 0;
    return number == component ? start : bytes.size();
}

namespace {

// The set the value is read in: the one its line names, or, where it names
// none it knows, UTF-8 where the bytes are UTF-8 and Windows-1250 where they
// are not. A value cut inside its last UTF-8 character loses that part.
Charset decide_charset(Charset named, PaddedText& bytes)
{
    if (named != Charset::unnamed && named != Charset::utf8) {
        return named;
    }
    const std::size_t incomplete = incomplete_utf8_end(bytes.view());
    const PaddedText whole = bytes.substr(0, bytes.size() - incomplete);
    if (named == Charset::utf8) {
        bytes = whole;
        return named;
    }
    if (!is_utf8(whole.view()) || (incomplete != 0 && !holds_multibyte_sequence(whole.view()))) {
        return Charset::windows_1250;
    }
    bytes = whole;
    return Charset::utf8;
}

} // namespace

std::size_t decode_value(PaddedText raw, const ValueDecoding& how, PaddedBuffer& scratch, std::span<char> value,
                         bool drop_spaces, bool* cut)
{
    if (cut != nullptr) {
        *cut = false;
    }
    const bool quoted_printable = how.encoding.quoted_printable;
    const bool maybe_utf8 = how.encoding.charset == Charset::unnamed || how.encoding.charset == Charset::utf8;
    // Most values are plain ASCII or UTF-8 letters of the folding table,
    // without escapes, and short enough to be taken whole: the ordinary
    // cleaning tells so as it goes, and gives the value that decoding would.
    if (!quoted_printable && !how.line_cut && maybe_utf8 && how.component == 0 && raw.size() <= value.size()) {
        if (const std::size_t length = clean_plain_value(raw, value, drop_spaces, value_tables(how.charset));
            length != kNeedsDecoding) {
            return length;
        }
    }
    if (how.line_cut) {
        raw = without_half_escape(raw, quoted_printable, how.version_21);
    }
    PaddedText bytes = raw;
    if (quoted_printable) {
        bytes = scratch.text(0, undo_quoted_printable(raw.view(), scratch.data()));
    }
    // Text that folding reads as decoding would is UTF-8 as it stands.
    const Charset charset = maybe_utf8 && holds_only_folding_text(bytes, true)
                                ? Charset::utf8
                                : decide_charset(how.encoding.charset, bytes);
    if (how.component != 0) {
        std::size_t length = 0;
        const std::size_t start = value_component(bytes.view(), how.component, how.version_21, length);
        bytes = bytes.substr(start, length);
    }
    if (!quoted_printable && std::memchr(bytes.data(), '\\', bytes.size()) != nullptr) {
        bytes = scratch.text(0, undo_escapes(bytes.view(), how.version_21, scratch.data()));
    }
    if (holds_only_folding_text(bytes, charset == Charset::utf8)) {
        if (cut != nullptr) {
            *cut = folding_cuts_text(bytes.view(), value.size());
        }
        return clean_value(bytes, value, drop_spaces, value_tables(how.charset));
    }
    std::size_t read = 0;
    const std::size_t length = to_table_text(bytes.view(), charset, how.charset, value, read);
    if (cut != nullptr) {
        *cut = holds_text(bytes.view().substr(read));
    }
    return apply_value_rules(value.first(length), value.size(), how.charset, drop_spaces);
}

} // namespace cardtab
