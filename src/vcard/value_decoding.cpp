#include "vcard/value_decoding.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "text/charsets.hpp"
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

// A backslash and the byte after it that the components' split steps over
// as one: in a vCard 2.1 card only "\;", in others any.
bool escape_pair_at(std::string_view bytes, std::size_t at, bool version_21)
{
    return bytes[at] == '\\' && at + 1 < bytes.size() && (!version_21 || bytes[at + 1] == ';');
}

// The semicolons that separate components become spaces, and, where
// `undo`, backslash escapes are undone, an escaped semicolon staying one; a
// backslash that starts no escape stays, and what follows it is read on its
// own. Writes at `out`, which may be where `raw` lies.
std::size_t separate_components(std::string_view raw, bool version_21, bool undo, char* out)
{
    std::size_t length = 0;
    for (std::size_t at = 0; at < raw.size(); ++at) {
        const char byte = raw[at];
        const char escaped = undo && at + 1 < raw.size() && byte == '\\' ? escaped_byte(raw[at + 1], version_21) : '\0';
        if (escaped != '\0') {
            out[length++] = escaped;
            ++at;
        } else if (!undo && escape_pair_at(raw, at, version_21)) {
            out[length++] = byte;
            out[length++] = raw[++at];
        } else {
            out[length++] = byte == kSemicolon ? kSpace : byte;
        }
    }
    return length;
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
        if (escape_pair_at(bytes, at, version_21)) {
            ++at;
        } else if (bytes[at] == kSemicolon) {
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
    if (named == Charset::utf8) {
        bytes = bytes.substr(0, bytes.size() - incomplete_utf8_end(bytes.view()));
        return named;
    }
    return named == Charset::unnamed ? utf8_or_windows_1250(bytes) : named;
}

} // namespace

std::size_t decode_value(PaddedText raw, const ValueDecoding& how, PaddedBuffer& scratch, std::span<char> value,
                         bool drop_spaces, bool* cut, bool* guessed)
{
    if (cut != nullptr) {
        *cut = false;
    }
    if (guessed != nullptr) {
        *guessed = false;
    }
    const ValueTables& tables = value_tables(how.charset, false);
    const bool quoted_printable = how.encoding.quoted_printable;
    const bool maybe_utf8 = how.encoding.charset == Charset::unnamed || how.encoding.charset == Charset::utf8;
    // Most values are plain ASCII or UTF-8 letters of the folding table,
    // without escapes, and short enough to be taken whole: the ordinary
    // cleaning tells so as it goes, and gives the value that decoding would.
    if (!quoted_printable && !how.line_cut && maybe_utf8 && how.component == 0 && raw.size() <= value.size()) {
        if (const std::size_t length = clean_plain_value(raw, value, drop_spaces, tables); length != kNeedsDecoding) {
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
    if (guessed != nullptr) {
        *guessed = how.encoding.charset == Charset::unnamed && charset == Charset::windows_1250;
    }
    if (how.component != 0) {
        std::size_t length = 0;
        const std::size_t start = value_component(bytes.view(), how.component, how.version_21, length);
        bytes = bytes.substr(start, length);
    }
    // A vCard 2.1 card escapes a semicolon under quoted-printable too.
    const bool escaped = std::memchr(bytes.data(), '\\', bytes.size()) != nullptr;
    if (escaped) {
        const bool undo = !quoted_printable || how.version_21;
        bytes = scratch.text(0, separate_components(bytes.view(), how.version_21, undo, scratch.data()));
    }
    if (holds_only_folding_text(bytes, charset == Charset::utf8)) {
        const ValueTables& cleaning = escaped ? value_tables(how.charset, false, false) : tables;
        if (cut != nullptr) {
            *cut = cleaning_cuts_text(bytes, value.size(), cleaning);
        }
        return clean_value(bytes, value, drop_spaces, cleaning);
    }
    std::size_t read = 0;
    const std::size_t length = to_table_text(bytes.view(), charset, how.charset, Controls::replaced, value, read);
    if (cut != nullptr) {
        *cut = holds_other_than(bytes.view().substr(read), kValueBlanks);
    }
    return apply_value_rules(value.first(length), {value.size(), how.charset, drop_spaces, !escaped});
}

} // namespace cardtab
