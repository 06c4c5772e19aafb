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

using CleanWay = CleanedValue (*)(std::string_view, std::span<char>, bool, bool);

struct Cleaned {
    std::string value;
    bool holds_backslash = false;
    bool only_folding_text = false;
};

// What `way` makes of `text`, the text followed by bytes that may be read
// past its end.
Cleaned cleaned(CleanWay way, const std::string& text, bool drop_spaces)
{
    const std::string padded = text + std::string(kReadablePastValueText, '\xC3');
    std::array<char, 100> value{};
    const CleanedValue got = way(std::string_view(padded.data(), text.size()), value, drop_spaces, true);
    return {std::string(value.data(), got.length), got.holds_backslash, got.only_folding_text};
}

struct CleanCase {
    std::string text;
    bool drop_spaces;
    std::string value;
    bool holds_backslash = false;
    bool only_folding_text = true; // ASCII but CR, LF and zero, and folded pairs
};

std::vector<CleanCase> clean_cases()
{
    const std::string a99(99, 'a');
    const std::string a63(63, 'a');
    return {
        {"Nov\xC3\xA1k;Jan;;;", false, "Novak Jan"},
        {"+420 123 456", true, "+420123456"},
        {";;Main St 1;;Prague;;\n", false, "  Main St 1  Prague", false, false},
        {"x\r\r\n", false, "x", false, false},
        {"a\rb \r \r\n", false, "a\rb", false, false},
        {" \r \r\n", true, "", false, false},
        {"\xC4pfel;x", false, "\xC4pfel x", false, false},       // a lead byte that starts no pair stays
        {"\xC3", false, "\xC3", false, false},                    // and so does one at the very end
        {"\xC2\x85\xC2\xA0", false, "\xC2\x85\xA0", false, false}, // C2 covers A0-BF only
        {"\xC5\xAA\xC4\x92", false, "U\xCB"},                     // U+016A and U+0112
        {a99 + "\xC3\xA1" + "zz", false, a99 + "a"},              // the hundredth byte is a pair
        {a99 + "bc", false, a99 + "b"},
        {a63 + "\xC3\xA1" + "b", false, a63 + "ab"},              // a pair across sixty-four bytes
        {std::string(150, ' ') + "x", false, ""},                 // cut before the x, then trimmed
        {"\"quoted\"", false, "\"quoted\""},
        {"a\\,b", false, "a\\,b", true},
        {std::string(100, 'a') + "\\", false, std::string(100, 'a')}, // a backslash past what is taken
        {std::string("a\0b", 3), false, std::string("a\0b", 3), false, false},
    };
}

void check_way(CleanWay way)
{
    for (const CleanCase& c : clean_cases()) {
        const Cleaned got = cleaned(way, c.text, c.drop_spaces);
        EXPECT_EQ(escaped(got.value), escaped(c.value)) << escaped(c.text);
        EXPECT_EQ(got.holds_backslash, c.holds_backslash) << escaped(c.text);
        EXPECT_EQ(got.only_folding_text, c.only_folding_text) << escaped(c.text);
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

// The bytes that matter most, in every mixture and length, from both ways.
TEST(CleanValue, BothWaysAgreeOnRandomText)
{
    if (!can_clean_with_avx512()) {
        GTEST_SKIP() << "this processor has no AVX-512 VBMI2: only one way runs here";
    }
    constexpr std::array<char, 14> kBytes = {'a', ' ', ';', '\n', '\r', '"', '\\', '\0', '\xC2', '\xC3', '\xC5',
                                             '\x80', '\xA1', '\xBF'};
    std::mt19937 random(2026);
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 300, '\0');
        for (char& byte : text) {
            byte = random() % 4 == 0 ? static_cast<char>(random()) : kBytes[random() % kBytes.size()];
        }
        const bool drop_spaces = random() % 2 == 0;
        const Cleaned avx512 = cleaned(clean_value_with_avx512, text, drop_spaces);
        const Cleaned words = cleaned(clean_value_with_words, text, drop_spaces);
        ASSERT_EQ(escaped(avx512.value), escaped(words.value)) << escaped(text) << (drop_spaces ? " dropping spaces" : "");
        ASSERT_EQ(avx512.holds_backslash, words.holds_backslash) << escaped(text);
        ASSERT_EQ(avx512.only_folding_text, words.only_folding_text) << escaped(text);
    }
}

} // namespace
} // namespace cardtab
