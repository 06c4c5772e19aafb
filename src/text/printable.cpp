#include "text/printable.hpp"

#include <array>
#include <cstdio>
#include <span>

#include "text/utf8.hpp"

namespace cardtab {

namespace {

// Characters that show nothing, or that steer the text around them: a name
// holding one could look like another, or hide part of the message.
struct Range {
    char32_t first;
    char32_t last;
};

// Every Default_Ignorable_Code_Point of the Unicode character database
// (15.0), neighbouring ranges merged. Generated, not typed, from Debian's
// unicode-data with:
//   python3 -c '
//   import re
//   r = sorted((int(a, 16), int(b or a, 16)) for a, b in re.findall(
//       r"^([0-9A-F]+)(?:\.\.([0-9A-F]+))? *; Default_Ignorable_Code_Point",
//       open("/usr/share/unicode/DerivedCoreProperties.txt").read(), re.M))
//   m = [list(r[0])]
//   [m.append(list(x)) if x[0] > m[-1][1] + 1 else m[-1].__setitem__(1, x[1]) for x in r[1:]]
//   print(", ".join("{0x%04X, 0x%04X}" % tuple(x) for x in m))'
constexpr std::array<Range, 17> kDefaultIgnorable = {{
    {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x061C, 0x061C},   {0x115F, 0x1160},   {0x17B4, 0x17B5},
    {0x180B, 0x180F},   {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x206F},   {0x3164, 0x3164},
    {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFF8},   {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
}};

// And what shows nothing without being default-ignorable: the C1 controls,
// every space separator but U+0020 (a no-break space before a word looks
// like a space and is not one), the line and paragraph separators, the
// interlinear annotations, the noncharacters U+FFFE and U+FFFF, and the
// blank Braille pattern, which looks like a space (U+3164 and U+FFA0,
// Hangul fillers that look alike, are among the ignorables above).
constexpr std::array<Range, 10> kAlsoInvisible = {{
    {0x0080, 0x00A0},
    {0x1680, 0x1680},
    {0x2000, 0x200A},
    {0x2028, 0x2029},
    {0x202F, 0x202F},
    {0x205F, 0x205F},
    {0x2800, 0x2800},
    {0x3000, 0x3000},
    {0xFFF9, 0xFFFB},
    {0xFFFE, 0xFFFF},
}};

bool in_ranges(std::span<const Range> ranges, char32_t code_point)
{
    for (const Range& range : ranges) {
        if (code_point >= range.first && code_point <= range.last) {
            return true;
        }
    }
    return false;
}

bool is_invisible(char32_t code_point)
{
    return in_ranges(kDefaultIgnorable, code_point) || in_ranges(kAlsoInvisible, code_point);
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
