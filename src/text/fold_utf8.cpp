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

bool folding_cuts_text(std::string_view text, std::size_t keep)
{
    if (text.size() <= keep) {
        return false;
    }
    std::size_t at = 0;
    for (std::size_t kept = 0; kept < keep && at < text.size(); ++kept) {
        const bool pair = at + 1 < text.size() && fold_pair(static_cast<unsigned char>(text[at]),
                                                            static_cast<unsigned char>(text[at + 1])) != kNoPair;
        at += pair ? 2 : 1;
    }
    return holds_text(text.substr(at));
}

} // namespace cardtab
