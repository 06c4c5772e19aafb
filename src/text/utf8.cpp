#include "text/utf8.hpp"

#include <array>

namespace cardtab {

namespace {

bool is_continuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

struct Utf8Lead {
    unsigned char first;
    unsigned char last;
    std::size_t length;
    unsigned char value_bits;
    char32_t lowest; // anything lower is an overlong form
};
constexpr std::array<Utf8Lead, 4> kUtf8Leads = {{
    {0x00, 0x7F, 1, 0x7F, 0x00},
    {0xC2, 0xDF, 2, 0x1F, 0x80},
    {0xE0, 0xEF, 3, 0x0F, 0x800},
    {0xF0, 0xF4, 4, 0x07, 0x10000},
}};

} // namespace

std::size_t decode_utf8(std::string_view text, char32_t& code_point)
{
    if (text.empty()) {
        return 0;
    }
    const auto lead = static_cast<unsigned char>(text[0]);
    for (const Utf8Lead& form : kUtf8Leads) {
        if (lead < form.first || lead > form.last || text.size() < form.length) {
            continue;
        }
        char32_t decoded = lead & form.value_bits;
        for (std::size_t n = 1; n < form.length; ++n) {
            const auto byte = static_cast<unsigned char>(text[n]);
            if (!is_continuation(byte)) {
                return 0;
            }
            decoded = (decoded << 6) | (byte & 0x3Fu);
        }
        const bool surrogate = decoded >= 0xD800 && decoded <= 0xDFFF;
        if (decoded < form.lowest || decoded > 0x10FFFF || surrogate) {
            return 0;
        }
        code_point = decoded;
        return form.length;
    }
    return 0;
}

} // namespace cardtab
