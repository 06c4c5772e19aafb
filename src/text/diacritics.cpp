#include "text/diacritics.hpp"

#include <array>
#include <string_view>

namespace cardtab {

namespace {

// Byte n of the first text becomes byte n of the second. Ä, Ľ, Ô, Ů and ĺ
// are not in the list and stay.
constexpr std::string_view kAccented =
    "\xC1\xC8\xCF\xC9\xCC\xCD\xC5\xD2\xD3\xD6\xD5\xD8\x8A\x8D\xDA\xDC\xDB\xDD\x8E"
    "\xE1\xE4\xE8\xEF\xE9\xEC\xED\xBE\xF2\xF3\xF6\xF4\xF5\xF8\x9A\x9D\xFA\xF9\xFC\xFB\xFD\x9E";
constexpr std::string_view kPlain = "ACDEEILNOOORSTUUUYZaacdeeilnoooorstuuuuyz";
static_assert(kAccented.size() == 41 && kPlain.size() == 41);

constexpr std::array<char, 256> kStripped = [] {
    std::array<char, 256> table{};
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        table[byte] = static_cast<char>(byte);
    }
    for (std::size_t n = 0; n < kAccented.size(); ++n) {
        table[static_cast<unsigned char>(kAccented[n])] = kPlain[n];
    }
    return table;
}();

} // namespace

void strip_diacritics(std::span<char> text)
{
    for (char& byte : text) {
        byte = kStripped[static_cast<unsigned char>(byte)];
    }
}

} // namespace cardtab
