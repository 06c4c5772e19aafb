#pragma once

#include <array>
#include <span>
#include <string_view>

namespace cardtab {

// Byte n of the first text becomes byte n of the second. Ä, Ľ, Ô, Ŕ, Ů, ĺ
// and ŕ are not in the list and stay.
inline constexpr std::string_view kAccentedLetters =
    "\xC1\xC8\xCF\xC9\xCC\xCD\xC5\xD2\xD3\xD6\xD5\xD8\x8A\x8D\xDA\xDC\xDB\xDD\x8E"
    "\xE1\xE4\xE8\xEF\xE9\xEC\xED\xBE\xF2\xF3\xF6\xF4\xF5\xF8\x9A\x9D\xFA\xF9\xFC\xFB\xFD\x9E";
inline constexpr std::string_view kPlainLetters = "ACDEEILNOOORSTUUUYZaacdeeilnoooorstuuuuyz";
static_assert(kAccentedLetters.size() == 41 && kPlainLetters.size() == 41);

// Every byte mapped to itself, except the accented letters to their plain
// ones.
inline constexpr std::array<char, 256> kWithoutDiacritics = [] {
    std::array<char, 256> table{};
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        table[byte] = static_cast<char>(byte);
    }
    for (std::size_t n = 0; n < kAccentedLetters.size(); ++n) {
        table[static_cast<unsigned char>(kAccentedLetters[n])] = kPlainLetters[n];
    }
    return table;
}();

// Replaces, in place, each of the 41 accented Czech, Slovak and Hungarian
// Windows-1250 letters by its plain ASCII letter. Other bytes stay.
void strip_diacritics(std::span<char> text);

} // namespace cardtab
