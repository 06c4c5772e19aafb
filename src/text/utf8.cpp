#include "text/utf8.hpp"

#include <array>

namespace cardtab {

namespace {

// The well-formed sequences: lead bytes from `first` to `last` begin
// sequences of `length` bytes, whose second byte lies from `second_low` to
// `second_high`, and whose other bytes are continuation bytes.
struct Utf8Lead {
    unsigned char first;
    unsigned char last;
    std::size_t length;
    unsigned char second_low;
    unsigned char second_high;
};
constexpr std::array<Utf8Lead, 9> kUtf8Leads = {{
    {0x00, 0x7F, 1, 0x00, 0x00},
    {0xC2, 0xDF, 2, 0x80, 0xBF},
    {0xE0, 0xE0, 3, 0xA0, 0xBF}, // below 0xA0 an overlong form
    {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, // above 0x9F a surrogate
    {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF}, // below 0x90 an overlong form
    {0xF1, 0xF3, 4, 0x80, 0xBF},
    {0xF4, 0xF4, 4, 0x80, 0x8F}, // above 0x8F past U+10FFFF
}};

const Utf8Lead* lead_of(unsigned char byte)
{
    for (const Utf8Lead& lead : kUtf8Leads) {
        if (byte >= lead.first && byte <= lead.last) {
            return &lead;
        }
    }
    return nullptr;
}

// The bits of the character that a lead byte of a sequence of `length`
// bytes holds.
char32_t lead_bits(unsigned char byte, std::size_t length)
{
    return length == 1 ? byte : byte & (0x7Fu >> length);
}

} // namespace

std::size_t decode_utf8(std::string_view text, char32_t& code_point)
{
    const Utf8Lead* lead = text.empty() ? nullptr : lead_of(static_cast<unsigned char>(text[0]));
    if (lead == nullptr || text.size() < lead->length) {
        return 0;
    }
    char32_t decoded = lead_bits(static_cast<unsigned char>(text[0]), lead->length);
    for (std::size_t n = 1; n < lead->length; ++n) {
        const auto byte = static_cast<unsigned char>(text[n]);
        const bool fits = n == 1 ? byte >= lead->second_low && byte <= lead->second_high : is_continuation(byte);
        if (!fits) {
            return 0;
        }
        decoded = (decoded << 6) | (byte & 0x3Fu);
    }
    code_point = decoded;
    return lead->length;
}

std::size_t incomplete_utf8_end(std::string_view text)
{
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if (is_continuation(byte)) {
            continue;
        }
        const Utf8Lead* lead = lead_of(byte);
        if (lead == nullptr || lead->length <= back) {
            return 0;
        }
        if (back >= 2) {
            const auto second = static_cast<unsigned char>(text[text.size() - back + 1]);
            if (second < lead->second_low || second > lead->second_high) {
                return 0;
            }
        }
        return back;
    }
    return 0;
}

} // namespace cardtab
