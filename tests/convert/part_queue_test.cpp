#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/run.hpp"
#include "support/bytes.hpp"
#include "support/memory_files.hpp"

namespace {

using cardtab::RunOptions;
using cardtab::RunResult;
using cardtab::ScanSpread;
using cardtab::testing::MemoryFiles;

struct PartCase {
    std::string name;
    std::string configuration;
    std::vector<std::string> cards; // a.vcf, b.vcf, ...
    bool decode = false;
};

struct Outcome {
    RunResult result;
    std::string table;
};

const std::string kCard = "BEGIN:VCARD\r\nN:Doe;Jan\r\nTEL;TYPE=CELL:+420 1\r\nNOTE:a\\, b\r\nEND:VCARD\r\n";

std::string times(const std::string& text, std::size_t count)
{
    std::string all;
    for (std::size_t n = 0; n < count; ++n) {
        all += text;
    }
    return all;
}

// A file whose first read does not fill the reader's buffer is too small
// to cut: each file begins with more than that.
const std::string kLead = times(kCard, 80);

Outcome convert(const PartCase& c, ScanSpread spread, std::size_t read_limit)
{
    MemoryFiles files;
    files.files["cardtab.ini"] = c.configuration;
    RunOptions options = cardtab::testing::naming({}, "t.csv", c.decode);
    options.cards.clear();
    for (std::size_t n = 0; n < c.cards.size(); ++n) {
        const std::string name = std::string(1, static_cast<char>('a' + n)) + ".vcf";
        files.files[name] = kLead + c.cards[n];
        options.cards.push_back(name);
    }
    options.spread = spread;
    files.read_limit = read_limit;
    Outcome outcome{cardtab::run_conversion(files, options), files.files["t.csv"]};
    EXPECT_EQ(files.open_count(), 0u) << c.name;
    return outcome;
}

// Every warning's count and first line, and every row, as one thread gives
// them, whatever the parts and threads.
TEST(PartQueue, ScansAFileInPartsAsItScansItWhole)
{
    const std::string& card = kCard;
    const std::string config = "Name=N:\nMobile=TEL;TYPE=CELL\nNote=NOTE\nTel=TEL\n";
    const std::string long_note = "NOTE:" + std::string(2100, 'n') + "\n";
    const std::vector<PartCase> cases = {
        {"plain cards", config, {times(card, 40)}},
        {"warnings in later parts",
         config,
         {times(card, 7) + "BEGIN:VCARD\nN:=1+2\nEND:VCARD\n" + times(card, 5) + "\xEF\xBB\xBF" "BEGIN:VCARD\nN:x\n" +
          long_note + "END:VCARD\nBEGIN:VCARD\nNOTE:only\nEND:VCARD\n" + "BEGIN:VCARD\nN:" + std::string(150, 'c') +
          "\nN;CHARSET=UTF-8:z\nEND:VCARD\n" + times(card, 9) + "END:VCARD\nN:after the end\nEND:VCARD\n"}},
        {"a card longer than a part, then a 0x1A",
         config,
         {times(card, 6) + "BEGIN:VCARD\nN:big\n" + times("NOTE:" + std::string(90, 'p') + "\n", 30) + "END:VCARD\n" +
          times(card, 6) + "BEGIN:VCARD\nN:last\x1A" "END:VCARD\nmore"}},
        {"a zero byte, CRs and a line with no end", config,
         {times(card, 5) + "BEGIN:VCARD\nN:a\0b\nTEL;TYPE=CELL:1\r\r\nEND:VCARD\n" + times(card, 5) + "BEGIN:VCARD\nN:x"}},
        {"two files, each in parts", config, {times(card, 12), times("BEGIN:VCARD\nN:b\nEND:VCARD\n", 30)}},
        {"decoding: soft breaks, folds and bounds in any case",
         "Name=N\nNote=NOTE\nMobile=TEL;CELL\nPhone=TEL[2]\n",
         {times(card, 5) + "BEGIN:VCARD\nVERSION:2.1\nNOTE;ENCODING=QUOTED-PRINTABLE:a=\n" + times(card, 3) +
              "begin:vcard\nN:lower\nNOTE:folded\n  on\nTEL:1\nTEL;PREF=1:2\nEND:VCARD\n" +
              "BEGIN:VCARD\nN;CHARSET=KOI8-R:x\nN:\xC8" "ern\xFD\nEND:VCARD\n" + times(card, 8)},
         true},
    };
    for (const PartCase& c : cases) {
        const Outcome whole = convert(c, {1, cardtab::kScanPartBytes}, 4096);
        EXPECT_FALSE(whole.result.failed) << c.name;
        for (const ScanSpread spread : {ScanSpread{2, 40}, ScanSpread{3, 300}, ScanSpread{4, 1000}}) {
            for (const std::size_t read_limit : {std::size_t{300}, std::size_t{100000}}) {
                const Outcome parts = convert(c, spread, read_limit);
                const std::string where = c.name + ", " + std::to_string(spread.threads) + " threads, parts of " +
                                          std::to_string(spread.part_bytes);
                EXPECT_TRUE(parts.table == whole.table) << where;
                EXPECT_EQ(parts.result.messages, whole.result.messages) << where;
            }
        }
    }
}

// A part whose rows fill their buffer hands them over on the way: many
// rows of long constant columns from few card bytes.
TEST(PartQueue, WritesRowsOfMoreBytesThanTheirBuffer)
{
    std::string config;
    for (int n = 0; n < 50; ++n) {
        config += "C" + std::to_string(n) + "=" + std::string(90, 'k') + "\nIdent=x\n";
    }
    const PartCase c{"constant columns", config, {times("END:\n", 40000)}};
    const Outcome whole = convert(c, {1, cardtab::kScanPartBytes}, 1 << 16);
    const Outcome parts = convert(c, {2, 4096}, 1 << 16);
    EXPECT_GT(whole.table.size(), std::size_t{4} << 20);
    EXPECT_TRUE(parts.table == whole.table);
    EXPECT_EQ(parts.result.messages, whole.result.messages);
}

} // namespace
