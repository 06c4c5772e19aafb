#include "text/diacritics.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/bytes.hpp"

namespace cardtab {
namespace {

using testing::escaped;

TEST(StripDiacritics, ReducesTheListedLettersOnly)
{
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"Nov\xE1k", "Novak"},
        {"\x8Akoda", "Skoda"},
        {"Dvo\xF8\xE1k", "Dvorak"},
        {"\xC4\xD4\xE4\xF4", "\xC4\xD4" "ao"},
        {"\xB3\xA3\xC5\xE5\xEA\xB9\xBC", "\xB3\xA3L\xE5\xEA\xB9\xBC"},
        {"\xC1\xC8\xCF\xC9\xCC\xCD\xC5\xD2\xD3\xD6\xD5\xD8\x8A\x8D\xDA\xDC\xDB\xDD\x8E", "ACDEEILNOOORSTUUUYZ"},
        {"\xE1\xE4\xE8\xEF\xE9\xEC\xED\xBE\xF2\xF3\xF6\xF4\xF5\xF8\x9A\x9D\xFA\xF9\xFC\xFB\xFD\x9E",
         "aacdeeilnoooorstuuuuyz"},
        {"\xDC", "U"}, // U+016A folds to DC
        {"\xCB", "\xCB"}, // U+0112 folds to CB, which is not in the list
        {"plain ASCII 123", "plain ASCII 123"},
    };
    for (Case c : cases) {
        strip_diacritics(c.text);
        EXPECT_EQ(escaped(c.text), escaped(c.expected));
    }
}

TEST(StripDiacritics, ChangesExactlyFortyOneBytes)
{
    int changed = 0;
    for (int byte = 0; byte < 256; ++byte) {
        std::string text(1, static_cast<char>(byte));
        strip_diacritics(text);
        changed += text[0] != static_cast<char>(byte) ? 1 : 0;
    }
    EXPECT_EQ(changed, 41);
}

} // namespace
} // namespace cardtab
