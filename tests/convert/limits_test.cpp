#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

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

#ifndef _WIN32
// A small ext2 file system, which cannot reserve room, mounted for one
// test; `why_not` says why there is none.
class SmallDisk {
public:
    SmallDisk(const ScratchFolder& folder, std::string& why_not) : mount_(folder / "disk")
    {
        const std::string image = (folder / "disk.img").string();
        std::filesystem::create_directory(mount_);
        if (geteuid() != 0) {
            why_not = "mounting a file system needs root";
        } else if (std::system(("truncate -s 400K " + image + " && mkfs.ext2 -q -F " + image + " >/dev/null 2>&1").c_str()) != 0) {
            why_not = "mkfs.ext2 cannot make a file system here";
        } else if (std::system(("mount -o loop " + image + " " + mount_.string() + " >/dev/null 2>&1").c_str()) != 0) {
            why_not = "a loop device cannot be mounted here";
        } else {
            mounted_ = true;
        }
    }
    ~SmallDisk()
    {
        if (mounted_) {
            static_cast<void>(std::system(("umount " + mount_.string()).c_str()));
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    const std::filesystem::path& path() const { return mount_; }

private:
    std::filesystem::path mount_;
    bool mounted_ = false;
};

// Another user's table, copied into place on a full disk that cannot
// reserve room: the run fails and the old table stays whole.
TEST(Limits, AFullDiskThatCannotReserveRoomKeepsTheOldTable)
{
    ScratchFolder folder;
    std::string why_not;
    const SmallDisk disk(folder, why_not);
    if (!why_not.empty()) {
        GTEST_SKIP() << why_not;
    }
    // A table of about 80 KB: room for its temporary file, not for it twice.
    std::string cards;
    for (int n = 0; n < 2000; ++n) {
        cards += "BEGIN:VCARD\nN:Someone with a name long enough " + std::to_string(n) + "\nEND:VCARD\n";
    }
    folder.write("cardtab.ini", "Name=N:\n");
    folder.write("big.vcf", cards);
    const std::string old_table = "an old table\r\n";
    {
        std::ofstream(disk.path() / "c.csv", std::ios::binary) << old_table;
        constexpr std::uintmax_t kRoomLeft = 120 * 1024;
        const std::uintmax_t available = std::filesystem::space(disk.path()).available;
        ASSERT_GT(available, kRoomLeft);
        std::ofstream(disk.path() / "filler", std::ios::binary) << std::string(available - kRoomLeft, 'x');
    }
    ASSERT_EQ(chmod(disk.path().c_str(), 0777), 0);
    ASSERT_EQ(chmod((disk.path() / "c.csv").c_str(), 0666), 0);
    const ProgramRun run = cardtab::testing::run_cardtab(
        folder.path(), {.arguments = {"big.vcf", (disk.path() / "c.csv").string()}, .unprivileged = true});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.error_output.find("No space left on device"), std::string::npos) << run.error_output;
    EXPECT_EQ(run.error_output.find("incomplete"), std::string::npos) << run.error_output;
    EXPECT_TRUE(ScratchFolder::read_file(disk.path() / "c.csv") == old_table) << "the old table is whole";
}
#endif

} // namespace
