#include "text/text.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/bytes.hpp"

namespace cardtab {
namespace {

using testing::escaped;

struct FindCase {
    std::string_view subject;
    std::string_view pattern;
    std::size_t start;
    std::ptrdiff_t expected;
};

constexpr FindCase kFindCases[] = {
    {"N:Doe", ":", 1, 1},
    {"N", ":", 1, kNotFound},
    {"", ":", 1, kNotFound},           // start beyond the end
    {"abc", "", 0, kNotFound},
    {"", "", 0, 0},
    {"abc", "", 3, 3},
    {"TE", "TEL", 0, kNotFound},       // the subject ends inside the match
    {"aab", "ab", 0, kNotFound},       // no back-up after a partial match
    {"xab", "ab", 0, 1},
    {"X..VCF", ".VCF", 0, kNotFound},
    {"LIST.V.VCF", ".VCF", 0, kNotFound},
    {"MY.VCARDS.VCF", ".VCF", 0, 9},
    {"IIdent", "Ident", 0, kNotFound},
    {"xIdent", "Ident", 0, 1},
    {"a:b:c", ":", 2, 3},
    {"abc", "abc", 0, 0},
    {"abcabc", "abc", 1, 3},
    {"|!/#$&?=-+,.:;<>()[]{}", "()", 0, 16},
    {"|!/#$&?=-+,.:;<>()[]{}", ";\n", 0, kNotFound},
};

TEST(FindText, FollowsTheForwardScanWithoutBackingUp)
{
    for (const FindCase& c : kFindCases) {
        EXPECT_EQ(find_text(c.subject, c.pattern, c.start), c.expected)
            << "'" << escaped(c.subject) << "' for '" << escaped(c.pattern) << "' from " << c.start;
    }
}

TEST(BeginsWith, AgreesWithASearchFromTheStart)
{
    const std::string_view texts[] = {"", "N", "N:", "N:Doe", "NOTE:x", "TEL;CELL:1", "aab", "ab", " N:"};
    for (const std::string_view subject : texts) {
        for (const std::string_view pattern : texts) {
            EXPECT_EQ(begins_with(subject, pattern), find_text(subject, pattern, 0) == 0)
                << "'" << escaped(subject) << "' begins with '" << escaped(pattern) << "'";
        }
    }
}

struct TrimCase {
    std::string_view source;
    std::string_view expected;
};

constexpr TrimCase kTrimCases[] = {
    {"  a b \n  \n", "  a b"},
    {"a\t", "a\t"},
    {"x\r\n", "x\r"},
    {" \n \n", ""},
    {"", ""},
    {"TEL;CELL\n", "TEL;CELL"},
};

TEST(TrimRight, RemovesOnlyTrailingSpacesAndLineFeeds)
{
    for (const TrimCase& c : kTrimCases) {
        EXPECT_EQ(trim_right(c.source), c.expected) << escaped(c.source);
    }
}

TEST(RemoveChar, ClosesTheGapsInOrder)
{
    std::string text = " +420 123  456 ";
    text.resize(remove_char(text, ' '));
    EXPECT_EQ(text, "+420123456");
    std::string none = "abc";
    EXPECT_EQ(remove_char(none, ' '), 3u);
    EXPECT_EQ(none, "abc");
}

TEST(UpperAscii, ChangesOnlyTheLettersAToZ)
{
    std::string text = "tel;cell \xE1\xC3\xA1z{}`@";
    upper_ascii(text);
    EXPECT_EQ(escaped(text), escaped("TEL;CELL \xE1\xC3\xA1Z{}`@"));
}

} // namespace
} // namespace cardtab
