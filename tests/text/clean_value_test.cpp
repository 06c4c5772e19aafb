#include "text/clean_value.hpp"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "support/bytes.hpp"

namespace cardtab {
namespace {

using testing::escaped;

using CleanWay = std::size_t (*)(PaddedText, std::span<char>, bool, const ValueTables&, bool*);
constexpr TableCharset kCharset = TableCharset::windows_1250_plain;

// The ordinary mode's default set folds; the others read UTF-8.
struct TablesCase {
    TableCharset charset;
    bool folds;
};
constexpr std::array<TablesCase, 4> kEverySet = {{{kCharset, true},
                                                  {kCharset, false},
                                                  {TableCharset::windows_1250, false},
                                                  {TableCharset::utf8, false}}};

// What `way` makes of `text`, the text followed by bytes that may be read
// past its end; "(decode)" where it is to be left to decoding.
std::string cleaned(CleanWay way, const std::string& text, bool drop_spaces, bool plain_only,
                    TablesCase set = kEverySet[0])
{
    const PaddedBuffer padded = testing::padded_copy(text, '\xC3');
    std::array<char, 100> value{};
    bool plain = false;
    const std::size_t length = way(padded.text(0, text.size()), value, drop_spaces,
                                   value_tables(set.charset, set.folds), plain_only ? &plain : nullptr);
    return plain_only && !plain ? "(decode)" : std::string(value.data(), length);
}

struct CleanCase {
    std::string text;
    bool drop_spaces;
    std::string value;
    bool plain = true; // ASCII but CR, LF, zero and backslash, and folded pairs
};

std::vector<CleanCase> clean_cases()
{
    const std::string a99(99, 'a');
    const std::string a63(63, 'a');
    return {
        {"Nov\xC3\xA1k;Jan;;;", false, "Novak Jan"},
        {"+420 123 456", true, "+420123456"},
        {";;Main St 1;;Prague;;\n", false, "  Main St 1  Prague", false},
        {"x\r\r\n", false, "x", false},
        {"a\rb \r \r\n", false, "a\rb", false},
        {" \r \r\n", true, "", false},
        {"\xC4pfel;x", false, "\xC4pfel x", false},       // a lead byte that starts no pair stays
        {"\xC3", false, "\xC3", false},                    // and so does one at the very end
        {"\xC2\x85\xC2\xA0", false, "\xC2\x85\xA0", false}, // C2 covers A0-BF only
        {"\xC5\xAA\xC4\x92", false, "U\xCB"},                     // U+016A and U+0112
        {a99 + "\xC3\xA1" + "zz", false, a99 + "a"},              // the hundredth byte is a pair
        {a99 + "bc", false, a99 + "b"},
        {a63 + "\xC3\xA1" + "b", false, a63 + "ab"},              // a pair across sixty-four bytes
        {std::string(150, ' ') + "x", false, ""},                 // cut before the x, then trimmed
        {"\"quoted\"", false, "\"quoted\""},
        {"a\\,b", false, "a\\,b", false},
        {std::string(100, 'a') + "\\", false, std::string(100, 'a')}, // a backslash past what is taken
        {std::string("a\0b", 3), false, std::string("a\0b", 3), false},
    };
}

// The sets that keep letters: a pair is the letter's byte or '?', or stays
// whole in UTF-8, where no cut splits it.
TEST(CleanValue, KeepsTheLettersOfTheTablesSet)
{
    const std::string y99(99, 'y');
    const struct {
        TablesCase set;
        std::string text;
        std::string value;
    } cases[] = {
        {kEverySet[1], "Mu\xC3\xB1oz \xC3\xA3", "Mu?oz ?"}, // n and a with tilde: not in Windows-1250
        {kEverySet[2], "Dvo\xC5\x99\xC3\xA1k", "Dvo\xF8\xE1k"},
        {kEverySet[2], y99 + "\xC5\x99", y99 + "\xF8"},
        {kEverySet[3], "Dvo\xC5\x99\xC3\xA1k;a", "Dvo\xC5\x99\xC3\xA1k a"},
        {kEverySet[3], y99 + "\xC5\x99", y99},
        {kEverySet[3], std::string(98, 'y') + "\xC5\x99z", std::string(98, 'y') + "\xC5\x99"},
    };
    for (const auto& c : cases) {
        for (const CleanWay way : {clean_value_with_words, clean_value_with_avx512}) {
            if (way == clean_value_with_avx512 && !can_clean_with_avx512()) {
                continue;
            }
            EXPECT_EQ(escaped(cleaned(way, c.text, false, true, c.set)), escaped(c.value)) << escaped(c.text);
        }
        EXPECT_EQ(escaped(testing::by_the_value_rules(c.text, c.set.charset, false, false)), escaped(c.value));
    }
}

void check_way(CleanWay way)
{
    for (const CleanCase& c : clean_cases()) {
        EXPECT_EQ(escaped(cleaned(way, c.text, c.drop_spaces, false)), escaped(c.value)) << escaped(c.text);
        EXPECT_EQ(escaped(testing::by_the_value_rules(c.text, kCharset, true, c.drop_spaces)), escaped(c.value))
            << escaped(c.text) << ": the rules themselves";
        EXPECT_EQ(escaped(cleaned(way, c.text, c.drop_spaces, true)), escaped(c.plain ? c.value : "(decode)"))
            << escaped(c.text);
    }
}

TEST(CleanValue, FoldsCleansCutsAndTrimsAWordAtATime)
{
    check_way(clean_value_with_words);
}

TEST(CleanValue, FoldsCleansCutsAndTrimsWithAvx512)
{
    if (!can_clean_with_avx512()) {
        GTEST_SKIP() << "this processor has no AVX-512 VBMI2";
    }
    check_way(clean_value_with_avx512);
}

// The bytes that matter most, in every mixture and length: each way gives
// the value the rules give, and both leave the same values to decoding.
TEST(CleanValue, BothWaysFollowTheRulesOnRandomText)
{
    constexpr std::array<char, 14> kBytes = {'a', ' ', ';', '\n', '\r', '"', '\\', '\0', '\xC2', '\xC3', '\xC5',
                                             '\x80', '\xA1', '\xBF'};
    std::mt19937 random(2026);
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 300, '\0');
        for (char& byte : text) {
            byte = random() % 4 == 0 ? static_cast<char>(random()) : kBytes[random() % kBytes.size()];
        }
        const bool drop_spaces = random() % 2 == 0;
        const TablesCase set = kEverySet[random() % kEverySet.size()];
        // Only the folding tables take every value; the others only the
        // plain ones, and leave the rest to be written letter by letter.
        const bool plain_only = set.folds ? random() % 2 == 0 : true;
        const std::string by_words = cleaned(clean_value_with_words, text, drop_spaces, plain_only, set);
        if (set.folds ? !plain_only : by_words != "(decode)") {
            ASSERT_EQ(escaped(by_words),
                      escaped(testing::by_the_value_rules(text, set.charset, set.folds, drop_spaces)))
                << escaped(text) << (drop_spaces ? " dropping spaces" : "");
        }
        if (can_clean_with_avx512()) {
            ASSERT_EQ(escaped(cleaned(clean_value_with_avx512, text, drop_spaces, plain_only, set)), escaped(by_words))
                << escaped(text) << (drop_spaces ? " dropping spaces" : "") << (plain_only ? " plain only" : "");
        }
    }
}

} // namespace
} // namespace cardtab
