#include "text/printable.hpp"

#include <gtest/gtest.h>

#include <string>

namespace cardtab {
namespace {

TEST(Printable, ShowsEveryByteThatCouldHideOrSteerAsAnEscape)
{
    const struct {
        std::string name;
        std::string shown;
    } cases[] = {
        {"people.vcf", "people.vcf"},
        {"D:\\out\\list.csv", "D:\\out\\list.csv"},
        {"Adres\xC3\xA1\xC5\x99.vcf", "Adres\xC3\xA1\xC5\x99.vcf"},           // Adresář in UTF-8
        {"\xE2\x82\xAC \xF0\x9F\x98\x80", "\xE2\x82\xAC \xF0\x9F\x98\x80"},   // euro sign, emoji
        {"\x1B[2J\x1B[31mgone\rfake", "\\x1B[2J\\x1B[31mgone\\x0Dfake"},
        {std::string("a\0b\tc\nd\x7F", 8), "a\\x00b\\x09c\\x0Ad\\x7F"},
        {"\xEF\xBB\xBFpeople", "\\u{FEFF}people"},                            // byte order mark
        {"x\xC2\x85y", "x\\u{0085}y"},                                        // C1 control
        {"\xC2\xA0" "decode\xE2\x80\x83\xE2\x80\xAF\xE3\x80\x80\xE2\x80\xA8",                    // spaces that are not U+0020
         "\\u{00A0}decode\\u{2003}\\u{202F}\\u{3000}\\u{2028}"},
        {"a\xE2\x80\xAE" "fdp.exe", "a\\u{202E}fdp.exe"},                     // right-to-left override
        {"a\xE2\x80\x8B" "b\xC2\xAD" "c", "a\\u{200B}b\\u{00AD}c"},          // zero width space, soft hyphen
        {"Adres\xE1\xF8.vcf", "Adres\\xE1\\xF8.vcf"},                         // Windows-1250, not UTF-8
        {"\xC0\xAF", "\\xC0\\xAF"},                                           // overlong slash
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},                                  // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},                         // past U+10FFFF
        {"\xF0\x9F\x98", "\\xF0\\x9F\\x98"},                                  // cut short
        {"\xC3\xA1\xC3", "\xC3\xA1\\xC3"},
        {"a\xF0\x9D\x85\xB3" "b\xF0\x9B\xB2\xA0" "c", "a\\u{1D173}b\\u{1BCA0}c"}, // musical and shorthand format controls
        {"\xE2\xA0\x80\xE3\x85\xA4\xEF\xBE\xA0", "\\u{2800}\\u{3164}\\u{FFA0}"},     // blank Braille, Hangul fillers
        {"\xE2\x81\xA5\xF3\xA0\x80\x81", "\\u{2065}\\u{E0001}"},                   // unassigned but ignorable, a tag
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printable(c.name), c.shown) << c.shown;
    }
}

} // namespace
} // namespace cardtab
