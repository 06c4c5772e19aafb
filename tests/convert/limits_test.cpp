#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>

#include "support/scratch.hpp"

namespace {

using cardtab::testing::ProgramRun;
using cardtab::testing::ScratchFolder;

constexpr std::size_t kLargeFileBytes = std::size_t{50} * 1000 * 1000;
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

// Writes a large card file a block at a time, so the test itself stays small.
template <class MakeBlock>
void write_large_file(const ScratchFolder& folder, MakeBlock make_block)
{
    std::ofstream out(folder / "import.vcf", std::ios::binary);
    std::string block(kBlockBytes, '\0');
    for (std::size_t written = 0; written < kLargeFileBytes; written += block.size()) {
        make_block(block);
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

long peak_of_a_small_run()
{
    ScratchFolder folder;
    folder.write("cardtab.ini", "Name=N\nPhone=T\nEnd=E\n");
    folder.write("import.vcf", "BEGIN:VCARD\nN:x\nEND:VCARD\n");
    return cardtab::testing::run_cardtab(folder.path()).peak_memory_kib;
}

// A large file must need no more memory than a tiny one, give or take.
// Where the system does not tell a run's peak, the test reports itself
// skipped rather than passing without a look. Wine tells it for some runs
// and not for others, so both runs must have told it.
void expect_flat_memory(const ProgramRun& run)
{
    constexpr long kAllowanceKib = 4 * 1024;
    const long small_peak = peak_of_a_small_run();
    if (run.peak_memory_kib == 0 || small_peak == 0) {
        GTEST_SKIP() << "this system does not tell a run's peak memory";
    }
    EXPECT_LE(run.peak_memory_kib, small_peak + kAllowanceKib);
}

TEST(Limits, AFileSizeLimitFailsTheWriteAndKeepsTheOldTable)
{
    if (!cardtab::testing::can_limit_runs()) {
        GTEST_SKIP() << "this system has no file-size limit for a process";
    }
    ScratchFolder folder;
    folder.write("cardtab.ini", "Name=N:\n");
    folder.write("import.csv", "old table");
    std::string cards;
    for (int n = 0; n < 2000; ++n) {
        cards += "BEGIN:VCARD\nN:Someone with a long enough name " + std::to_string(n) + "\nEND:VCARD\n";
    }
    folder.write("import.vcf", cards);
    const ProgramRun run = cardtab::testing::run_cardtab(folder.path(), {.file_size_bytes = 4096});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.error_output, "cardtab: cannot write table file 'import.csv': File too large\n");
    EXPECT_EQ(folder.read("import.csv"), "old table");
    EXPECT_EQ(folder.names(), "cardtab.ini import.csv import.vcf ");
}

TEST(Limits, FiftyMegabytesOfRandomBytesConvertInFlatMemory)
{
    ScratchFolder folder;
    folder.write("cardtab.ini", "Name=N\nPhone=T\nEnd=E\n");
    std::mt19937_64 random(2026);
    // Without 0x1A, which would end the file at once and leave the rest unread.
    write_large_file(folder, [&random](std::string& block) {
        for (char& byte : block) {
            const auto value = static_cast<unsigned char>(random() & 0xFF);
            byte = static_cast<char>(value == 0x1A ? 0x1B : value);
        }
    });
    const ProgramRun run = cardtab::testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(cardtab::testing::only_warnings(run.error_output)) << run.error_output;
    expect_flat_memory(run);
}

TEST(Limits, AFiftyMegabytePhotoFoldedOverAMillionLinesDecodesInFlatMemory)
{
    ScratchFolder folder;
    folder.write("cardtab.ini", "N*Name=N:\n#Phone=TEL\n");
    {
        std::ofstream out(folder / "import.vcf", std::ios::binary);
        out << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jan;;;\r\nPHOTO;ENCODING=b;TYPE=JPEG:";
        const std::string folded_line = "\r\n " + std::string(47, 'B');
        std::string block;
        for (int n = 0; n < 1000; ++n) {
            block += folded_line;
        }
        for (int n = 0; n < 1000; ++n) {
            out << block;
        }
        out << "\r\nTEL:+420 123\r\nEND:VCARD\r\n";
    }
    const ProgramRun run = cardtab::testing::run_cardtab(folder.path(), {.arguments = {"--decode"}});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.error_output, "");
    expect_flat_memory(run);
    EXPECT_EQ(folder.read("import.csv"), "Name,#Phone\r\n\"Doe Jan\",\"+420123\"\r\n");
}

TEST(Limits, FiftyMegabytesOnOneLineConvertInFlatMemory)
{
    ScratchFolder folder;
    folder.write("cardtab.ini", "Name=N\nPhone=T\nEnd=E\n");
    write_large_file(folder, [](std::string& block) { block.assign(kBlockBytes, 'N'); });
    const ProgramRun run = cardtab::testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(cardtab::testing::only_warnings(run.error_output)) << run.error_output;
    expect_flat_memory(run);
    EXPECT_EQ(folder.read("import.csv"), "Name,Phone,End\r\n");
}

} // namespace
