#include "text/text.hpp"

namespace cardtab {

std::ptrdiff_t find_text(std::string_view subject, std::string_view pattern, std::size_t start)
{
    if (start > subject.size()) {
        return kNotFound;
    }
    if (pattern.empty()) {
        return start == subject.size() ? static_cast<std::ptrdiff_t>(start) : kNotFound;
    }
    std::size_t k = 0;
    std::ptrdiff_t match = kNotFound;
    for (std::size_t p = start; p < subject.size(); ++p) {
        if (subject[p] == pattern[k]) {
            if (match == kNotFound) {
                match = static_cast<std::ptrdiff_t>(p);
            }
            if (++k == pattern.size()) {
                return match;
            }
        } else {
            // Deliberately no back-up: the failed byte is not retried as a
            // first byte.
            match = kNotFound;
            k = 0;
        }
    }
    return kNotFound;
}

std::size_t remove_char(std::span<char> text, char c)
{
    std::size_t kept = 0;
    for (const char byte : text) {
        text[kept] = byte;
        kept += byte != c ? 1 : 0;
    }
    return kept;
}

void upper_ascii(std::span<char> text)
{
    for (char& byte : text) {
        byte = upper_ascii_byte(byte);
    }
}

} // namespace cardtab
