#include "support/bytes.hpp"


#include <cstdio>

namespace cardtab::testing {

std::string escaped(std::string_view bytes)
{
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\\') {
            shown += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            shown += hex;
        } else {
            shown += c;
        }
    }
    return shown;
}

PaddedBuffer padded_copy(std::string_view bytes, char filler)
{
    PaddedBuffer buffer(bytes.size() + kReadablePast);
    bytes.copy(buffer.data(), bytes.size());
    for (std::size_t at = bytes.size(); at < bytes.size() + kReadablePast; ++at) {
        buffer[at] = filler;
    }
    return buffer;
}

} // namespace cardtab::testing
