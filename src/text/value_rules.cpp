#include "text/value_rules.hpp"

#include <algorithm>
#include <string_view>

#include "text/code_pages.hpp"
#include "text/diacritics.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"

namespace cardtab {

namespace {

constexpr bool takes_accents_off(TableCharset charset)
{
    return charset == TableCharset::windows_1250_plain;
}

// What a byte of the table's text becomes by the rules that look at one
// byte at a time.
constexpr char cleaned_byte(unsigned char byte, TableCharset charset)
{
    if (byte == static_cast<unsigned char>(kSemicolon)) {
        return kSpace;
    }
    return takes_accents_off(charset) ? kWithoutDiacritics[byte] : static_cast<char>(byte);
}

constexpr ValueTables make_tables(TableCharset charset)
{
    ValueTables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        const char cleaned = cleaned_byte(static_cast<unsigned char>(byte), charset);
        tables.singles[byte] = cleaned;
        const auto of = [](bool holds, std::uint8_t bit) { return holds ? bit : std::uint8_t{0}; };
        tables.classes[byte] = static_cast<std::uint8_t>(
            of(byte >= kFirstFoldLead && byte <= kLastFoldLead, kPairLead) | of(cleaned == kSpace, kBecomesSpace) |
            of(is_one_of(cleaned, kValueBlanks), kTrimmed) | of(is_control(byte) || byte == '\\' || byte >= 0x80, kUnusual));
    }
    for (unsigned lead = kFirstFoldLead; lead <= kLastFoldLead; ++lead) {
        for (unsigned second = 0x80; second <= 0xBF; ++second) {
            const int pair = fold_pair(static_cast<unsigned char>(lead), static_cast<unsigned char>(second));
            if (pair != kNoPair) {
                tables.pairs[pair_index(static_cast<unsigned char>(lead), static_cast<unsigned char>(second))] =
                    tables.singles[static_cast<unsigned char>(pair)];
            }
        }
    }
    return tables;
}

constexpr ValueTables kPlainWindows1250 = make_tables(TableCharset::windows_1250_plain);

// The characters outside U+00A0-U+017F that Windows-1250 has, with their
// bytes: the punctuation of 0x80-0x9F and the five accents of 0xA1-0xFF.
struct Windows1250Byte {
    char32_t character;
    unsigned char byte;
};
constexpr std::size_t kOtherWindows1250Characters = 27;
constexpr std::array<Windows1250Byte, kOtherWindows1250Characters> kOtherWindows1250 = [] {
    std::array<Windows1250Byte, kOtherWindows1250Characters> others{};
    std::size_t count = 0;
    for (std::size_t byte = 0x80; byte <= 0xFF; ++byte) {
        const char32_t character = kWindows1250[byte - 0x80];
        if (character != kUndefined && (character < 0xA0 || character > 0x17F)) {
            others[count++] = {character, static_cast<unsigned char>(byte)};
        }
    }
    return others;
}();

char windows_1250_byte(char32_t character)
{
    if (character < 0x80) {
        return static_cast<char>(character);
    }
    if (character >= 0xA0 && character <= 0x17F) {
        return static_cast<char>(kFoldTable[character - 0xA0]);
    }
    for (const Windows1250Byte& other : kOtherWindows1250) {
        if (other.character == character) {
            return static_cast<char>(other.byte);
        }
    }
    return kUnknownCharacter;
}
static_assert(std::count(kFoldTable.begin(), kFoldTable.end(), 0) == 0,
              "a covered sequence never becomes the byte that marks one not covered");

} // namespace

std::size_t apply_value_rules(std::span<char> text, std::size_t capacity, TableCharset charset, bool drop_spaces)
{
    const std::span<char> value = text.first(take_span(std::string_view(text.data(), text.size()), 0, capacity).size());
    std::replace(value.begin(), value.end(), kSemicolon, kSpace);
    const std::size_t length = drop_spaces ? remove_char(value, kSpace) : value.size();
    if (takes_accents_off(charset)) {
        strip_diacritics(value.first(length));
    }
    return trim_value(std::string_view(value.data(), length)).size();
}

EncodedCharacter encode_character(char32_t character, TableCharset charset)
{
    switch (charset) {
    case TableCharset::windows_1250_plain:
        break;
    }
    return {{windows_1250_byte(character)}, 1};
}

const ValueTables& value_tables(TableCharset charset)
{
    switch (charset) {
    case TableCharset::windows_1250_plain:
        break;
    }
    return kPlainWindows1250;
}

} // namespace cardtab
