#include "text/value_rules.hpp"

#include <algorithm>
#include <string_view>

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

const ValueTables& value_tables(TableCharset charset)
{
    switch (charset) {
    case TableCharset::windows_1250_plain:
        break;
    }
    return kPlainWindows1250;
}

} // namespace cardtab
