#include "text/wide_text.hpp"

#include <cstdint>

namespace cardtab {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

std::size_t unit_bytes(WideForm form)
{
    return form == WideForm::utf16_little || form == WideForm::utf16_big ? 2 : 4;
}

char32_t unit_at(std::string_view wide, std::size_t at, WideForm form)
{
    const std::size_t size = unit_bytes(form);
    const bool little = form == WideForm::utf16_little || form == WideForm::utf32_little;
    char32_t unit = 0;
    for (std::size_t n = 0; n < size; ++n) {
        const auto byte = static_cast<unsigned char>(wide[at + (little ? size - 1 - n : n)]);
        unit = (unit << 8) | byte;
    }
    return unit;
}

std::size_t utf8_length(char32_t code_point)
{
    return code_point < 0x80 ? 1 : code_point < 0x800 ? 2 : code_point < 0x10000 ? 3 : 4;
}

void put_utf8(char32_t code_point, char* out)
{
    const std::size_t length = utf8_length(code_point);
    if (length == 1) {
        out[0] = static_cast<char>(code_point);
        return;
    }
    constexpr unsigned char kLeads[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (std::size_t n = length - 1; n > 0; --n) {
        out[n] = static_cast<char>(0x80 | (code_point & 0x3F));
        code_point >>= 6;
    }
    out[0] = static_cast<char>(kLeads[length] | code_point);
}

bool is_surrogate(char32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}

} // namespace

bool wide_form_of(std::string_view opening, WideForm& form)
{
    if (opening.size() < 4) {
        return false;
    }
    if (opening.starts_with(std::string_view("\xFF\xFE\0\0", 4)) || (opening[0] != '\0' && opening.substr(1, 3) == std::string_view("\0\0\0", 3))) {
        form = WideForm::utf32_little;
    } else if (opening.starts_with(std::string_view("\0\0\xFE\xFF", 4)) || (opening.substr(0, 3) == std::string_view("\0\0\0", 3) && opening[3] != '\0')) {
        form = WideForm::utf32_big;
    } else if (opening.starts_with("\xFF\xFE") || (opening[0] != '\0' && opening[1] == '\0' && opening[2] != '\0' && opening[3] == '\0')) {
        form = WideForm::utf16_little;
    } else if (opening.starts_with("\xFE\xFF") || (opening[0] == '\0' && opening[1] != '\0' && opening[2] == '\0' && opening[3] != '\0')) {
        form = WideForm::utf16_big;
    } else {
        return false;
    }
    return true;
}

WideConverted wide_to_utf8(std::string_view wide, WideForm form, std::span<char> out, bool at_end)
{
    const std::size_t size = unit_bytes(form);
    WideConverted done;
    while (done.used < wide.size()) {
        std::size_t taken = size;
        char32_t code_point = kReplacement;
        if (wide.size() - done.used < size) {
            if (!at_end) {
                break;
            }
            taken = wide.size() - done.used;
        } else {
            const char32_t unit = unit_at(wide, done.used, form);
            code_point = unit > 0x10FFFF || (size == 4 && is_surrogate(unit)) ? kReplacement : unit;
            if (size == 2 && unit >= 0xD800 && unit <= 0xDBFF) {
                if (wide.size() - done.used < 2 * size && !at_end) {
                    break; // the pair's second half comes with the next bytes
                }
                const char32_t low = wide.size() - done.used >= 2 * size ? unit_at(wide, done.used + size, form) : 0;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    code_point = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    taken = 2 * size;
                } else {
                    code_point = kReplacement;
                }
            } else if (size == 2 && is_surrogate(unit)) {
                code_point = kReplacement;
            }
        }
        if (out.size() - done.written < utf8_length(code_point)) {
            break;
        }
        put_utf8(code_point, out.data() + done.written);
        done.written += utf8_length(code_point);
        done.used += taken;
    }
    return done;
}

} // namespace cardtab
