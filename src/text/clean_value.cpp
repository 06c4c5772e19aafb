#include "text/clean_value.hpp"

#include <algorithm>
#include <array>
#include <bit>

#include "text/diacritics.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/words.hpp"

namespace cardtab {

namespace {

// Semicolons become spaces and accented letters plain ones, in one table.
// The two rules never meet, and neither makes a space from anything but a
// semicolon, so they can be applied together, before spaces are dropped.
constexpr std::array<char, 256> kCleanedBytes = [] {
    std::array<char, 256> table = kWithoutDiacritics;
    table[static_cast<unsigned char>(';')] = ' ';
    return table;
}();

// One byte of the text, or one folded pair, cleaned into the value; a
// space is not kept when `drop_spaces`.
void clean_byte(std::string_view text, std::size_t& at, char* value, std::size_t& kept, bool drop_spaces)
{
    auto byte = static_cast<unsigned char>(text[at++]);
    if (byte >= kFirstFoldLead && byte <= kLastFoldLead && at < text.size()) {
        if (const int pair = fold_pair(byte, static_cast<unsigned char>(text[at])); pair != kNoPair) {
            byte = static_cast<unsigned char>(pair);
            ++at;
        }
    }
    const char cleaned = kCleanedBytes[byte];
    value[kept] = cleaned;
    kept += drop_spaces && cleaned == ' ' ? 0u : 1u;
}

// The bytes that the word loop leaves to clean_byte: those of 0x80 or more,
// and the spaces and semicolons that are to be dropped.
Word special_bytes(Word word, Word semicolons, bool drop_spaces)
{
    const Word high = word & kHighBits;
    return drop_spaces ? high | semicolons | bytes_equal_to(word, ' ') : high;
}

} // namespace

// Eight bytes at a time: the plain ASCII before the first special byte of a
// word is cleaned in one step (only its semicolons change), and the special
// byte is left to clean_byte. Most of a value is plain. The last word of the
// text may reach past its end: those bytes count as special.
std::size_t clean_value(std::string_view text, std::span<char> value, bool drop_spaces)
{
    static_assert(std::endian::native == std::endian::little, "the first byte of a word is its lowest");
    constexpr Word kSemicolonToSpace = ';' - ' ';
    std::size_t at = 0;
    std::size_t kept = 0;
    std::size_t taken = 0; // bytes of the folded text taken so far
    while (taken < value.size() && at < text.size()) {
        if (kept + sizeof(Word) <= value.size()) {
            const Word word = load_word(text.data() + at);
            const Word semicolons = bytes_equal_to(word, ';');
            store_word(value.data() + kept, word - (semicolons >> 7) * kSemicolonToSpace);
            const std::size_t left = std::min(text.size() - at, value.size() - taken);
            const Word beyond = left >= sizeof(Word) ? 0 : kHighBits << (8 * left);
            const Word special = special_bytes(word, semicolons, drop_spaces) | beyond;
            const std::size_t plain = special == 0 ? sizeof(Word) : static_cast<std::size_t>(std::countr_zero(special)) / 8;
            at += plain;
            kept += plain;
            taken += plain;
            if (special == 0 || plain == left) {
                continue;
            }
        }
        clean_byte(text, at, value.data(), kept, drop_spaces);
        ++taken;
    }
    return trim_value(std::string_view(value.data(), kept)).size();
}

} // namespace cardtab
