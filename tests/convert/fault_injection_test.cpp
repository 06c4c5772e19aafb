#include <gtest/gtest.h>

#include <string>

#include "convert/run.hpp"
#include "support/bytes.hpp"
#include "support/memory_files.hpp"

namespace cardtab {
namespace {

using testing::escaped;
using testing::FaultyFiles;
using testing::MemoryFiles;

const std::string kConfiguration = "people.vcf\nN*Name=N:\n#Phone=TEL\nMail=EMAIL\n";

// Enough cards for several reads and writes with small buffers.
std::string many_cards()
{
    std::string cards;
    for (int n = 0; n < 2000; ++n) {
        cards += "BEGIN:VCARD\r\nN:Nov\xC3\xA1k;Jan " + std::to_string(n) + "\r\nTEL:+420 " + std::to_string(n) +
                 "\r\nEMAIL:jan" + std::to_string(n) + "@example.cz\r\nEND:VCARD\r\n";
    }
    return cards;
}

MemoryFiles starting_files(const std::string& cards)
{
    MemoryFiles files;
    files.files["cardtab.ini"] = kConfiguration;
    files.files["people.vcf"] = cards;
    files.files["people.csv"] = "an older table";
    return files;
}

TEST(FaultInjection, EveryFailedCallFailsTheRunAndLosesNothing)
{
    const std::string cards = many_cards();
    MemoryFiles clean = starting_files(cards);
    ASSERT_FALSE(run_conversion(clean).failed);
    const std::string expected_table = clean.files["people.csv"];

    for (std::size_t fail_at = 1;; ++fail_at) {
        MemoryFiles memory = starting_files(cards);
        FaultyFiles files(memory, fail_at);
        const RunResult result = run_conversion(files);
        EXPECT_EQ(memory.open_count(), 0u) << "call " << fail_at << ": every file is closed";
        EXPECT_EQ(memory.files["cardtab.ini"], kConfiguration) << "call " << fail_at;
        EXPECT_EQ(memory.files["people.vcf"], cards) << "call " << fail_at;
        if (!files.injected()) {
            EXPECT_FALSE(result.failed);
            EXPECT_EQ(escaped(memory.files["people.csv"]), escaped(expected_table));
            EXPECT_GT(fail_at, 6u) << "a run makes at least opens, reads, writes and closes";
            break;
        }
        ASSERT_TRUE(result.failed) << "call " << fail_at << " failed but the run succeeded";
        ASSERT_EQ(result.messages.size(), 1u) << "call " << fail_at;
        EXPECT_EQ(result.messages[0].rfind("cardtab: cannot ", 0), 0u) << result.messages[0];
        EXPECT_NE(result.messages[0].find("Injected failure"), std::string::npos) << result.messages[0];
        const bool table_created = memory.files["people.csv"] != "an older table";
        if (result.messages[0].find("configuration") != std::string::npos ||
            result.messages[0].find("open card file") != std::string::npos) {
            EXPECT_FALSE(table_created) << "call " << fail_at << ": the old table is kept";
        }
    }
}

} // namespace
} // namespace cardtab
