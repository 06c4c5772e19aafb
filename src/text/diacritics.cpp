#include "text/diacritics.hpp"

namespace cardtab {

void strip_diacritics(std::span<char> text)
{
    for (char& byte : text) {
        byte = kWithoutDiacritics[static_cast<unsigned char>(byte)];
    }
}

} // namespace cardtab
