#include "vcard/encoded_values.hpp"

#include <bit>

#include "config/records.hpp"
#include "vcard/escapes.hpp"
#include "vcard/names.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/utf8.hpp"
#include "vcard/value_decoding.hpp"
#include "text/words.hpp"

namespace cardtab {

namespace {

// A high byte at `at`: false where it begins a pair that folding covers,
// true where it begins other UTF-8, which folding writes as it stands.
bool begins_unfolded_utf8(std::string_view text, std::size_t at, std::size_t& length)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const auto second = static_cast<unsigned char>(at + 1 < text.size() ? text[at + 1] : '\0');
    if (fold_pair(lead, second) != kNoPair) {
        length = 2;
        return false;
    }
    char32_t character = 0;
    length = 1;
    return decode_utf8(text.substr(at), character) >= 2;
}

// In one pass over the text a value is taken from: whether decoding would
// write it otherwise, for its bytes alone. A backslash escape (in a vCard
// 2.1 card only "\;"), quoted-printable's encoded bytes where the line is
// quoted-printable, and UTF-8 that folding leaves as it is (three- and
// four-byte characters, and two-byte ones outside U+00A0-U+017F) count. Most
// words of the text hold none of '\\', '=' and high bytes, and are passed
// over whole.
bool looks_encoded(std::string_view text, bool version_21, bool quoted_printable)
{
    for (std::size_t at = 0; at < text.size();) {
        if (at + sizeof(Word) <= text.size()) {
            const Word word = load_word(text.data() + at);
            const Word special = (word & kHighBits) | bytes_equal_to(word, '\\') | bytes_equal_to(word, '=');
            if (special == 0) {
                at += sizeof(Word);
                continue;
            }
            at += static_cast<std::size_t>(std::countr_zero(special)) / 8;
        }
        const char byte = text[at];
        std::size_t length = 1;
        if (byte == '\\' && at + 1 < text.size() && escaped_byte(text[at + 1], version_21) != '\0') {
            return true;
        }
        if (byte == '=' && quoted_printable && at + 2 < text.size() && hex_digit(text[at + 1]) >= 0 &&
            hex_digit(text[at + 2]) >= 0) {
            return true;
        }
        if (static_cast<unsigned char>(byte) >= 0x80 && begins_unfolded_utf8(text, at, length)) {
            return true;
        }
        at += length;
    }
    return false;
}

// A quoted-printable value that ends in a soft line break: its last byte
// but blanks and the line end is a '='.
bool value_ends_in_soft_break(std::string_view text)
{
    return trim_end(text, kBlanks).ends_with('=');
}

// The prefix names a character set other than UTF-8 (or ASCII, which reads
// the same): decoding writes such values in Windows-1250. A CHARSET is
// looked for at each '=' of the prefix.
bool names_other_charset(std::string_view prefix)
{
    bool holds = false;
    for (std::size_t at = prefix.find('='); !holds && at != std::string_view::npos; at = prefix.find('=', at + 1)) {
        holds = at >= kCharsetKey.size() &&
                equals_in_any_case(prefix.substr(at - kCharsetKey.size(), kCharsetKey.size()), kCharsetKey);
    }
    if (!holds) {
        return false;
    }
    const ValueEncoding encoding = encoding_of(prefix);
    return (encoding.charset != Charset::unnamed && encoding.charset != Charset::utf8) ||
           !encoding.unknown_charset.empty();
}

} // namespace

void note_line_begun(EncodedValues& seen, std::string_view text)
{
    if (seen.pending != 0 && !text.empty() && (text[0] == ' ' || text[0] == '\t')) {
        note(seen.encoded, seen.pending_line, seen.pending);
    }
    seen.pending = 0;
}

PrefixFacts facts_of_prefix(std::string_view prefix)
{
    return {.quoted_printable = holds_quoted_printable(prefix), .other_charset = names_other_charset(prefix)};
}

void note_values(EncodedValues& seen, PrefixFacts prefix, std::string_view value_text, bool plain,
                 std::size_t values, bool version_21, std::size_t line_number)
{
    // Escapes and encoded bytes count among the first bytes, of which a
    // value is taken. Plain bytes hold no escape and no UTF-8 that folding
    // leaves; quoted-printable is plain text too.
    const bool quoted_printable = prefix.quoted_printable;
    const bool looked_into = !plain || quoted_printable;
    if (prefix.other_charset ||
        (looked_into && looks_encoded(value_text.substr(0, kMaxValueBytes + 2), version_21, quoted_printable)) ||
        (quoted_printable && value_ends_in_soft_break(value_text))) {
        note(seen.encoded, line_number, values);
    } else {
        seen.pending += values;
        seen.pending_line = line_number;
    }
}

namespace {

// The high bit of each byte of `word` from `low` to `high`, both ASCII.
Word bytes_between(Word word, unsigned char low, unsigned char high)
{
    const Word low_bits = word & kLowSevenBits;
    return (kEveryByte * (128u + high) - low_bits) & ~word & (low_bits + kEveryByte * (128u - low)) & kHighBits;
}

} // namespace

bool may_name_property_otherwise(PaddedText line)
{
    if (!line.empty() && line[0] >= 'a' && line[0] <= 'z') {
        return true;
    }
    // '.', '/', the digits, ':' and ';' are the bytes 0x2E-0x3B: one test a
    // word finds the first of them, which on most lines is the ':' or ';'.
    for (std::size_t at = 0; at < line.size();) {
        const Word candidates = bytes_between(load_word(line.data() + at), '.', ';');
        if (candidates == 0) {
            at += sizeof(Word);
            continue;
        }
        at += static_cast<std::size_t>(std::countr_zero(candidates)) / 8;
        // The padding past the line's end may hold anything.
        if (at >= line.size() || line[at] == ':' || line[at] == ';') {
            return false;
        }
        if (line[at] == '.') {
            return true;
        }
        ++at;
    }
    return false;
}

} // namespace cardtab
