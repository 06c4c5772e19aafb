#include "text/value_rules.hpp"

#include <algorithm>

#include "text/diacritics.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/utf8.hpp"

namespace cardtab {

namespace {

constexpr bool takes_accents_off(TableCharset charset)
{
    return charset == TableCharset::windows_1250_plain;
}

// What a byte of the table's text becomes by the rules that look at one
// byte at a time.
constexpr char cleaned_byte(unsigned char byte, TableCharset charset, bool semicolons = true)
{
    if (byte == static_cast<unsigned char>(kSemicolon)) {
        return semicolons ? kSpace : kSemicolon;
    }
    return takes_accents_off(charset) ? kWithoutDiacritics[byte] : static_cast<char>(byte);
}

// The character a covered two-byte sequence stands for.
constexpr char32_t pair_character(unsigned lead, unsigned second)
{
    return static_cast<char32_t>(((lead & 0x1Fu) << 6) | (second & 0x3Fu));
}

// What a covered sequence becomes: as the rules fold it, or the character
// written in the table's set; then the byte rules.
char cleaned_pair(unsigned lead, unsigned second, TableCharset charset, bool folds, bool semicolons)
{
    if (folds) {
        const int folded = fold_pair(static_cast<unsigned char>(lead), static_cast<unsigned char>(second));
        return cleaned_byte(static_cast<unsigned char>(folded), charset);
    }
    if (charset == TableCharset::utf8) {
        return static_cast<char>(lead); // marks it covered; both bytes stay
    }
    const char written = encode_character(pair_character(lead, second), charset).bytes[0];
    return cleaned_byte(static_cast<unsigned char>(written), charset, semicolons);
}

ValueTables make_tables(TableCharset charset, bool folds, bool semicolons = true)
{
    ValueTables tables{};
    tables.pairs_stay_whole = charset == TableCharset::utf8;
    tables.folds = folds;
    for (unsigned byte = 0; byte < 256; ++byte) {
        const char cleaned = cleaned_byte(static_cast<unsigned char>(byte), charset, semicolons);
        tables.singles[byte] = cleaned;
        const auto of = [](bool holds, std::uint8_t bit) { return holds ? bit : std::uint8_t{0}; };
        tables.classes[byte] = static_cast<std::uint8_t>(
            of(byte >= kFirstFoldLead && byte <= kLastFoldLead, kPairLead) | of(cleaned == kSpace, kBecomesSpace) |
            of(is_one_of(cleaned, kValueBlanks), kTrimmed) |
            of(is_control(byte) || byte == '\\' || byte >= 0x80, kUnusual));
    }
    for (unsigned lead = kFirstFoldLead; lead <= kLastFoldLead; ++lead) {
        for (unsigned second = 0x80; second <= 0xBF; ++second) {
            if (fold_pair(static_cast<unsigned char>(lead), static_cast<unsigned char>(second)) != kNoPair) {
                tables.pairs[pair_index(static_cast<unsigned char>(lead), static_cast<unsigned char>(second))] =
                    cleaned_pair(lead, second, charset, folds, semicolons);
            }
        }
    }
    return tables;
}

const ValueTables kFoldedPlain = make_tables(TableCharset::windows_1250_plain, true);
// For the decoded text of each set: its semicolons made spaces, or kept.
const std::array<std::array<ValueTables, 2>, 3> kDecoded = {{
    {make_tables(TableCharset::windows_1250_plain, false, false),
     make_tables(TableCharset::windows_1250_plain, false, true)},
    {make_tables(TableCharset::windows_1250, false, false), make_tables(TableCharset::windows_1250, false, true)},
    {make_tables(TableCharset::utf8, false, false), make_tables(TableCharset::utf8, false, true)},
}};
static_assert(std::count(kFoldTable.begin(), kFoldTable.end(), 0) == 0,
              "a covered sequence never becomes the byte that marks one not covered");

} // namespace

std::size_t apply_value_rules(std::span<char> text, const ValueRules& rules)
{
    std::string_view kept = take_span(std::string_view(text.data(), text.size()), 0, rules.capacity);
    if (rules.charset == TableCharset::utf8) {
        kept.remove_suffix(incomplete_utf8_end(kept));
    }
    const std::span<char> value = text.first(kept.size());
    if (rules.semicolons) {
        std::replace(value.begin(), value.end(), kSemicolon, kSpace);
    }
    const std::size_t length = rules.drop_spaces ? remove_char(value, kSpace) : value.size();
    if (takes_accents_off(rules.charset)) {
        strip_diacritics(value.first(length));
    }
    return trim_value(std::string_view(value.data(), length)).size();
}

const ValueTables& value_tables(TableCharset charset, bool folds, bool semicolons)
{
    if (folds) {
        return kFoldedPlain;
    }
    return kDecoded[static_cast<std::size_t>(charset)][semicolons ? 1 : 0];
}

} // namespace cardtab
