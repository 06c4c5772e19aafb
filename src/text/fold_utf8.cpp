#include "text/fold_utf8.hpp"

namespace cardtab {

std::size_t fold_utf8_line(std::span<char> line)
{
    std::size_t read = 0;
    std::size_t write = 0;
    while (read < line.size()) {
        const auto lead = static_cast<unsigned char>(line[read]);
        const int pair = read + 1 < line.size() ? fold_pair(lead, static_cast<unsigned char>(line[read + 1])) : kNoPair;
        if (pair != kNoPair) {
            line[write++] = static_cast<char>(pair);
            read += 2;
        } else {
            // A lead byte that starts no covered pair is kept as it is and
            // the byte after it is taken on its own, so nothing is lost.
            line[write++] = line[read++];
        }
    }
    return write;
}

} // namespace cardtab
