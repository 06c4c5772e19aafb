#include "text/fold_utf8.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "support/bytes.hpp"
#include "text/code_pages.hpp"

namespace cardtab {
namespace {

using testing::escaped;

std::string folded(std::string line)
{
    line.resize(fold_utf8_line(line));
    return line;
}

// The code points of Windows-1250 bytes 0x80-0xFF, 0 where it has none.
constexpr std::array<char32_t, 128> kCodePage1250 = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

int windows1250_byte(char32_t code_point)
{
    for (std::size_t n = 0; n < kCodePage1250.size(); ++n) {
        if (kCodePage1250[n] == code_point) {
            return static_cast<int>(0x80 + n);
        }
    }
    return -1;
}

std::string utf8_of(char32_t code_point)
{
    return {static_cast<char>(0xC0 | (code_point >> 6)), static_cast<char>(0x80 | (code_point & 0x3F))};
}

// The program keeps the code page too, for decoding; both were written out
// from the published mapping, each on its own.
TEST(CodePages, TheProgramReadsWindows1250AsTheCodePageIs)
{
    EXPECT_EQ(cardtab::kWindows1250, kCodePage1250);
}

TEST(FoldUtf8, MapsEveryCoveredCharacterAsTheCodePageDoes)
{
    struct LookAlike {
        char32_t code_point;
        unsigned char byte;
    };
    constexpr LookAlike kLookAlikes[] = {
        {0x00A1, 0xA1}, {0x00A2, 0xA2}, {0x00C3, 0xC3}, {0x00E3, 0xE3}, {0x00EA, 0xEA}, {0x0112, 0xCB},
        {0x0113, 0xEB}, {0x0114, 0xD1}, {0x0115, 0xEC}, {0x0127, 0x60}, {0x016A, 0xDC}, {0x016B, 0xFC},
    };
    int code_page = 0;
    int look_alike = 0;
    int underscore = 0;
    for (char32_t cp = 0xA0; cp <= 0x17F; ++cp) {
        const std::string got = folded(utf8_of(cp));
        ASSERT_EQ(got.size(), 1u) << std::hex << static_cast<unsigned>(cp);
        const auto byte = static_cast<unsigned char>(got[0]);
        const int expected_byte = windows1250_byte(cp);
        const auto* alike = std::find_if(std::begin(kLookAlikes), std::end(kLookAlikes),
                                         [cp](const LookAlike& entry) { return entry.code_point == cp; });
        if (expected_byte >= 0) {
            EXPECT_EQ(byte, expected_byte) << std::hex << static_cast<unsigned>(cp);
            ++code_page;
        } else if (alike != std::end(kLookAlikes)) {
            EXPECT_EQ(byte, alike->byte) << std::hex << static_cast<unsigned>(cp);
            ++look_alike;
        } else {
            EXPECT_EQ(byte, 0x5F) << std::hex << static_cast<unsigned>(cp);
            ++underscore;
        }
    }
    EXPECT_EQ(code_page, 101);
    EXPECT_EQ(look_alike, 12);
    EXPECT_EQ(underscore, 111);
}

struct FoldCase {
    std::string line;
    std::string expected;
};

TEST(FoldUtf8, LeavesEverythingElseAlone)
{
    const FoldCase cases[] = {
        {"FN:Nov\xC3\xA1k\n", "FN:Nov\xE1k\n"},
        {"\xC5\xA0koda", "\x8Akoda"},
        {"\xC3\xA8", "_"},
        {"\xC4\xA7", "\x60"},
        {"\xC2\xA0", "\xA0"},
        {"\xE2\x82\xAC", "\xE2\x82\xAC"},          // three-byte sequence
        {"\xEF\xBB\xBF" "BEGIN", "\xEF\xBB\xBF" "BEGIN"}, // byte-order mark
        {"\xC4\x9A", "\xCC"},                      // already Windows-1250: folded anyway
        {"\xC4pfel", "\xC4pfel"},                  // stray lead byte keeps the next byte
        {"N\xC5:x", "N\xC5:x"},                    // ...a colon too
        {"x\xC3\n", "x\xC3\n"},                    // ...and the line feed
        {"\xC3", "\xC3"},                          // lead byte last
        {"\xC2\x9F\xC2\xA0", "\xC2\x9F\xA0"},      // C2 covers only A0-BF
        {"\xC3\xC3\xA1", "\xC3\xE1"},              // a stray lead byte before a pair
        {"\xC5\xC0", "\xC5\xC0"},
        {"\xC6\x80", "\xC6\x80"},
        {"", ""},
    };
    for (const FoldCase& c : cases) {
        EXPECT_EQ(escaped(folded(c.line)), escaped(c.expected)) << escaped(c.line);
    }
}

} // namespace
} // namespace cardtab
