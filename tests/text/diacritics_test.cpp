#include "text/diacritics.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/bytes.hpp"
#include "text/fold_utf8.hpp"

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
        {"\xDC", "U"}, // U+016A folds to DC
        {"\xCB", "\xCB"}, // U+0112 folds to CB, which is not in the list
        {"plain ASCII 123", "plain ASCII 123"},
    };
    for (Case c : cases) {
        strip_diacritics(c.text);
        EXPECT_EQ(escaped(c.text), escaped(c.expected));
    }
}

// The accented letters of each alphabet as its writers type them, in UTF-8,
// and what a value keeps of them once folded and stripped: the plain letter,
// or the Windows-1250 byte of the few that keep their accent (Ä, Ľ, Ô, Ŕ, Ů,
// ĺ and ŕ).
TEST(StripDiacritics, LeavesThePlainLettersOfCzechSlovakAndHungarian)
{
    struct Alphabet {
        std::string language;
        std::string letters;
        std::string kept;
    };
    const Alphabet alphabets[] = {
        {"Czech", "ÁČĎÉĚÍŇÓŘŠŤÚŮÝŽáčďéěíňóřšťúůýž", "ACDEEINORSTU\xD9YZacdeeinorstuuyz"},
        {"Slovak", "ÁÄČĎÉÍĹĽŇÓÔŔŠŤÚÝŽáäčďéíĺľňóôŕšťúýž",
         "A\xC4" "CDEIL\xBC" "NO\xD4\xC0" "STUYZaacdei\xE5" "lnoo\xE0" "stuyz"},
        {"Hungarian", "ÁÉÍÓÖŐÚÜŰáéíóöőúüű", "AEIOOOUUUaeiooouuu"},
    };
    for (const Alphabet& alphabet : alphabets) {
        std::string text = alphabet.letters;
        text.resize(fold_utf8_line(text));
        strip_diacritics(text);
        EXPECT_EQ(escaped(text), escaped(alphabet.kept)) << alphabet.language;
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
