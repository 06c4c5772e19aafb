#include "text/printable.hpp"

#include <array>
#include <cstdio>

#include "text/utf8.hpp"

namespace cardtab {

namespace {

// Characters that show nothing, or that steer the text around them: a name
// holding one could look like another, or hide part of the message.
struct Range {
    char32_t first;
    char32_t last;
};
constexpr std::array<Range, 17> kInvisible = {{
    {0x0080, 0x009F}, // C1 controls
    {0x00AD, 0x00AD}, // soft hyphen
    {0x034F, 0x034F}, // combining grapheme joiner
    {0x061C, 0x061C}, // Arabic letter mark
    {0x115F, 0x1160}, // Hangul fillers
    {0x17B4, 0x17B5},
    {0x180B, 0x180F}, // Mongolian selectors and vowel separator
    {0x200B, 0x200F}, // zero widths and direction marks
    {0x2028, 0x202E}, // line and paragraph separators, direction embeddings
    {0x2060, 0x206F}, // word joiner, invisible operators, direction isolates
    {0x3164, 0x3164}, // Hangul filler
    {0xFE00, 0xFE0F}, // variation selectors
    {0xFEFF, 0xFEFF}, // byte order mark
    {0xFFA0, 0xFFA0}, // halfwidth Hangul filler
    {0xFFF0, 0xFFFB}, // interlinear annotation, specials
    {0xFFFE, 0xFFFF}, // noncharacters
    {0xE0000, 0xE0FFF}, // tags and supplementary variation selectors
}};

bool is_invisible(char32_t code_point)
{
    for (const Range& range : kInvisible) {
        if (code_point >= range.first && code_point <= range.last) {
            return true;
        }
    }
    return false;
}

void append_escape(std::string& shown, const char* format, unsigned value)
{
    std::array<char, 16> escape{};
    std::snprintf(escape.data(), escape.size(), format, value);
    shown += escape.data();
}

} // namespace

std::string printable(std::string_view text)
{
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += text[at++];
            continue;
        }
        char32_t code_point = 0;
        const std::size_t length = byte < 0x80 ? 0 : decode_utf8(text.substr(at), code_point);
        if (length == 0) {
            append_escape(shown, "\\x%02X", byte);
            ++at;
        } else if (is_invisible(code_point)) {
            append_escape(shown, "\\u{%04X}", static_cast<unsigned>(code_point));
            at += length;
        } else {
            shown.append(text.substr(at, length));
            at += length;
        }
    }
    return shown;
}

} // namespace cardtab
