#include "text/clean_value.hpp"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

#include "support/bytes.hpp"

namespace cardtab {
namespace {

using testing::escaped;

// The value that `way` makes of `text`, the text followed by bytes that
// may be read past its end.
std::string cleaned(CleanWay way, const std::string& text, bool drop_spaces)
{
    const std::string padded = text + std::string(kReadablePastValueText, '\xC3');
    std::array<char, 100> value{};
    const std::size_t length =
        clean_value_by(way, std::string_view(padded.data(), text.size()), value, drop_spaces).length;
    return std::string(value.data(), length);
}

TEST(CleanValue, FoldsCleansCutsAndTrimsEitherWay)
{
    const std::string a99(99, 'a');
    const std::string a63(63, 'a');
    const struct {
        std::string text;
        bool drop_spaces;
        std::string value;
    } cases[] = {
        {"Nov\xC3\xA1k;Jan;;;\n", false, "Novak Jan"},
        {"+420 123 456\n", true, "+420123456"},
        {";;Main St 1;;Prague;;\n", false, "  Main St 1  Prague"},
        {"x\r\r\n", false, "x"},
        {"a\rb \r \r\n", false, "a\rb"},
        {" \r \r\n", true, ""},
        {"\xC4pfel;x\n", false, "\xC4pfel x"},                 // a lead byte that starts no pair stays
        {"\xC3", false, "\xC3"},                                // and so does one at the very end
        {"\xC2\x85\xC2\xA0", false, "\xC2\x85\xA0"},           // C2 covers A0-BF only
        {"\xC5\xAA\xC4\x92", false, "U\xCB"},                   // U+016A and U+0112
        {a99 + "\xC3\xA1" + "zz", false, a99 + "a"},            // the hundredth byte is a pair
        {a99 + "bc", false, a99 + "b"},
        {a63 + "\xC3\xA1" + "b", false, a63 + "ab"},            // a pair across sixty-four bytes
        {std::string(150, ' ') + "x", false, ""},               // cut before the x, then trimmed
        {"\"quoted\"", false, "\"quoted\""},
    };
    for (const auto& c : cases) {
        for (const CleanWay way : {CleanWay::words, CleanWay::wide}) {
            EXPECT_EQ(escaped(cleaned(way, c.text, c.drop_spaces)), escaped(c.value))
                << escaped(c.text) << (way == CleanWay::wide ? " (wide)" : " (words)");
        }
    }
}

// The bytes that matter most, in every mixture and length, from both ways.
TEST(CleanValue, BothWaysAgreeOnRandomText)
{
    if (!can_clean_wide()) {
        GTEST_SKIP() << "this processor has no AVX-512 VBMI2: only one way runs here";
    }
    constexpr std::array<char, 12> kBytes = {'a', ' ', ';', '\n', '\r', '"', '\xC2', '\xC3', '\xC5',
                                             '\x80', '\xA1', '\xBF'};
    std::mt19937 random(2026);
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 300, '\0');
        for (char& byte : text) {
            byte = random() % 4 == 0 ? static_cast<char>(random()) : kBytes[random() % kBytes.size()];
        }
        const bool drop_spaces = random() % 2 == 0;
        ASSERT_EQ(escaped(cleaned(CleanWay::wide, text, drop_spaces)), escaped(cleaned(CleanWay::words, text, drop_spaces)))
            << escaped(text) << (drop_spaces ? " dropping spaces" : "");
    }
}

} // namespace
} // namespace cardtab
