#include "convert/run.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/bytes.hpp"
#include "support/scratch.hpp"

namespace cardtab {
namespace {

namespace fs = std::filesystem;
using testing::escaped;
using testing::ScratchFolder;

struct Named {
    std::string name;
    std::string bytes;
};

// One run of the real program in an empty folder: the files put there
// before, and what must be there after. A missing expected file is one
// whose bytes are the marker kAbsent.
struct RunCase {
    std::string name;
    std::vector<Named> before;
    std::vector<std::string> folders;
    int exit_status;
    std::string error_output;
    std::vector<Named> after;
};

const std::string kAbsent = "<absent>";

void check_run(const RunCase& c)
{
    ScratchFolder folder;
    for (const Named& file : c.before) {
        folder.write(file.name, file.bytes);
    }
    for (const std::string& name : c.folders) {
        fs::create_directory(folder / name);
    }
    const testing::ProgramRun run = testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, c.exit_status) << c.name;
    EXPECT_EQ(run.error_output, c.error_output) << c.name;
    EXPECT_EQ(folder.names().find(".cardtab-"), std::string::npos) << c.name << ": " << folder.names();
    for (const Named& file : c.after) {
        if (file.bytes == kAbsent) {
            EXPECT_FALSE(folder.exists(file.name)) << c.name << ": " << file.name;
        } else {
            EXPECT_EQ(escaped(folder.read(file.name)), escaped(file.bytes)) << c.name << ": " << file.name;
        }
    }
}

TEST(Run, FailsLoudlyAndLosesNothing)
{
    const RunCase cases[] = {
        {"empty folder", {}, {}, 1,
         "cardtab: cannot open card file 'import.vcf': No such file or directory\n",
         {{"import.csv", kAbsent}}},
        {"missing card file beside an old table", {{"import.csv", "old\r\ntable"}}, {}, 1,
         "cardtab: cannot open card file 'import.vcf': No such file or directory\n",
         {{"import.csv", "old\r\ntable"}}},
        {"table path is a folder", {{"import.vcf", "BEGIN:VCARD\nEND:VCARD\n"}}, {"import.csv"}, 1,
         testing::folder_create_failure("table file", "import.csv"), {}},
        {"configuration is a folder", {{"import.vcf", ""}}, {"cardtab.ini"}, 1,
         testing::folder_read_failure("configuration file", "cardtab.ini"),
         {{"import.csv", kAbsent}}},
        {"card file name too long", {{"cardtab.ini", std::string(96, 'p') + ".vcf\n"}}, {}, 1,
         "cardtab: cardtab.ini: line 1: card file name is longer than 95 bytes\n",
         {{"import.csv", kAbsent}}},
        {"card file is a folder", {{"import.csv", "kept"}}, {"import.vcf"}, 1,
         testing::folder_read_failure("card file", "import.vcf"),
         {{"import.csv", "kept"}}},
    };
    for (const RunCase& c : cases) {
        check_run(c);
    }
}

TEST(Run, NamesTheFilesFromTheConfiguration)
{
    const RunCase cases[] = {
        {"defaults", {{"import.vcf", ""}}, {}, 0, "", {{"import.csv", "\r\n"}}},
        {"card file named", {{"cardtab.ini", "people.vcf\n"}, {"people.vcf", ""}}, {}, 0, "",
         {{"people.csv", "\r\n"}, {"import.csv", kAbsent}}},
        {"table file named", {{"cardtab.ini", "people.vcf\nout.csv\n"}, {"people.vcf", ""}}, {}, 0, "",
         {{"out.csv", "\r\n"}, {"people.csv", kAbsent}}},
        {"star resolved after the whole file", {{"cardtab.ini", "*.csv\npeople.vcf\n"}, {"people.vcf", ""}},
         {}, 0, "", {{"people.csv", "\r\n"}}},
        {"extension appended as it is", {{"cardtab.ini", "Cards.VCF.vcf\n"}, {"Cards.VCF.vcf", ""}}, {}, 1,
         "cardtab: cannot open card file 'Cards.vcf': No such file or directory\n", {{"Cards.csv", kAbsent}}},
        {"header line", {{"cardtab.ini", "N*Name=N:\nMail=EMAIL\nLast, First=FN\n"}, {"import.vcf", ""}},
         {}, 0, "", {{"import.csv", "Name,Mail,\"Last, First\"\r\n"}}},
        {"read-only configuration and warnings", {{"cardtab.ini", std::string(100, 'T') + "=FN\n"}, {"import.vcf", ""}},
         {}, 0, "cardtab: cardtab.ini: line 1: title longer than 99 bytes; shortened to its first 99\n",
         {{"import.csv", std::string(99, 'T') + "\r\n"}}},
    };
    for (const RunCase& c : cases) {
        check_run(c);
    }
}

TEST(Run, ReportsAFullDisk)
{
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "this system has no /dev/full";
    }
    ScratchFolder folder;
    folder.write("import.vcf", "");
    fs::create_symlink("/dev/full", folder / "import.csv");
    const testing::ProgramRun run = testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.error_output, "cardtab: cannot write table file 'import.csv': No space left on device\n");
}

constexpr fs::perms kReadOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

TEST(Run, ReadsAReadOnlyCardFileAndConfiguration)
{
    ScratchFolder folder;
    folder.write("cardtab.ini", "Name=N:\n");
    folder.write("import.vcf", "BEGIN:VCARD\nN:Doe\nEND:VCARD\n");
    fs::permissions(folder / "cardtab.ini", kReadOnly);
    fs::permissions(folder / "import.vcf", kReadOnly);
    const testing::ProgramRun run = testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.error_output, "");
    EXPECT_EQ(folder.read("import.csv"), "Name\r\n\"Doe\"\r\n");
}

TEST(Run, RefusesATableFileThatMayNotBeWritten)
{
    ScratchFolder folder;
    folder.write("import.vcf", "");
    folder.write("import.csv", "old");
    fs::permissions(folder / "import.csv", kReadOnly);
    if (std::ofstream(folder / "import.csv", std::ios::app)) {
        GTEST_SKIP() << "this user may write read-only files";
    }
    const testing::ProgramRun run = testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.error_output, "cardtab: cannot create table file 'import.csv': Permission denied\n");
    EXPECT_EQ(folder.read("import.csv"), "old");
}

TEST(Run, RefusesALockedTableFile)
{
    ScratchFolder folder;
    folder.write("import.vcf", "");
    folder.write("import.csv", "old");
    const testing::FileLock lock(folder / "import.csv");
    if (!lock.locks()) {
        GTEST_SKIP() << "this system cannot lock a file against other processes";
    }
    const testing::ProgramRun run = testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.error_output, "cardtab: cannot create table file 'import.csv': Permission denied\n");
}

const std::string kCards = "BEGIN:VCARD\nN:Doe\nEND:VCARD\n";
const std::string kTable = "Name\r\n\"Doe\"\r\n";

void put_inputs(const ScratchFolder& folder)
{
    folder.write("cardtab.ini", "Name=N:\n");
    folder.write("import.vcf", kCards);
}

TEST(Run, NeverWritesTheTableThroughALinkToAnInput)
{
    const struct {
        std::string input;
        bool hard;
        std::string what;
    } cases[] = {
        {"import.vcf", false, "card file"},
        {"import.vcf", true, "card file"},
        {"cardtab.ini", false, "configuration file"},
        {"cardtab.ini", true, "configuration file"},
    };
    std::string not_made;
    for (const auto& c : cases) {
        const std::string name = (c.hard ? "hard link to " : "symbolic link to ") + c.input;
        ScratchFolder folder;
        put_inputs(folder);
        if (c.hard) {
            fs::create_hard_link(folder / c.input, folder / "import.csv");
        } else if (!testing::make_symlink(c.input, folder / "import.csv")) {
            not_made += " " + name;
            continue;
        }
        const testing::ProgramRun run = testing::run_cardtab(folder.path());
        EXPECT_EQ(run.exit_status, 1) << name;
        EXPECT_EQ(run.error_output, "cardtab: refusing to write table file 'import.csv': it would overwrite the " +
                                        c.what + " '" + c.input + "'\n")
            << name;
        EXPECT_EQ(folder.read("cardtab.ini"), "Name=N:\n") << name;
        EXPECT_EQ(folder.read("import.vcf"), kCards) << name;
        EXPECT_EQ(fs::is_symlink(folder / "import.csv"), !c.hard) << name;
        EXPECT_EQ(folder.names(), "cardtab.ini import.csv import.vcf ") << name;
    }
    if (!not_made.empty()) {
        GTEST_SKIP() << "no symbolic link could be made here, so these were not run:" << not_made;
    }
}

TEST(Run, WritesThroughALinkToATableKeptElsewhere)
{
    ScratchFolder folder;
    put_inputs(folder);
    fs::create_directory(folder / "kept");
    folder.write("kept/t.csv", "old table");
    if (!testing::make_symlink(fs::path("kept") / "t.csv", folder / "import.csv")) {
        GTEST_SKIP() << "no symbolic link can be made here";
    }
    const testing::ProgramRun run = testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 0) << run.error_output;
    EXPECT_EQ(escaped(folder.read("kept/t.csv")), escaped(kTable));
    EXPECT_TRUE(fs::is_symlink(folder / "import.csv"));
    EXPECT_EQ(folder.names(), "cardtab.ini import.csv import.vcf kept ");
    EXPECT_EQ(fs::directory_iterator(folder / "kept")->path().filename(), "t.csv");
}

TEST(Run, KeepsThePermissionsOfTheTable)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows files have no permission bits";
#endif
    using fs::perms;
    const perms kOwnerGroup = perms::owner_read | perms::owner_write | perms::group_read;
    const struct {
        std::string name;
        bool old_table;
        int mask;
        perms expected;
    } cases[] = {
        {"a replaced table keeps its bits", true, 022, kOwnerGroup},
        {"a new table takes the umask", false, 027, kOwnerGroup},
        {"a new table with a loose umask", false, 002, kOwnerGroup | perms::group_write | perms::others_read},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        put_inputs(folder);
        if (c.old_table) {
            folder.write("import.csv", "old table");
            fs::permissions(folder / "import.csv", kOwnerGroup);
        }
        const testing::ProgramRun run = testing::run_cardtab(folder.path(), {.file_mode_mask = c.mask});
        EXPECT_EQ(run.exit_status, 0) << c.name << ": " << run.error_output;
        EXPECT_EQ(folder.read("import.csv"), kTable) << c.name;
        EXPECT_EQ(fs::status(folder / "import.csv").permissions(), c.expected) << c.name;
    }
}

TEST(Run, AnInterruptKeepsTheOldTableAndLeavesNothingBehind)
{
    if (!testing::can_interrupt_runs()) {
        GTEST_SKIP() << "this system cannot interrupt a run from a test";
    }
#ifndef _WIN32
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        ScratchFolder folder;
        folder.write("cardtab.ini", "Name=N:\n");
        folder.write("import.csv", "old table");
        const testing::InterruptedRun interrupted =
            testing::run_cardtab_interrupted(folder.path(), signal_number, kCards + kCards);
        EXPECT_TRUE(interrupted.new_file_seen) << "signal " << signal_number;
        EXPECT_EQ(interrupted.run.exit_status, 128 + signal_number);
        EXPECT_EQ(interrupted.run.error_output, "");
        EXPECT_EQ(folder.read("import.csv"), "old table") << "signal " << signal_number;
        EXPECT_EQ(folder.names(), "cardtab.ini import.csv import.vcf ") << "signal " << signal_number;
    }
#endif
}

TEST(Run, TakesADriveLetterAndBackslashesAsAPath)
{
#ifndef _WIN32
    GTEST_SKIP() << "drive letters and backslash separators are Windows paths";
#endif
    ScratchFolder folder;
    fs::create_directory(folder / "sub");
    folder.write("sub/people.vcf", "BEGIN:VCARD\nN:Doe\nEND:VCARD\n");
    const std::string base = (folder.path() / "sub" / "people").make_preferred().string();
    ASSERT_EQ(base.substr(1, 2), ":\\");
    folder.write("cardtab.ini", base + ".vcf\nName=N:\n");
    const testing::ProgramRun run = testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 0) << run.error_output;
    EXPECT_EQ(folder.read("sub/people.csv"), "Name\r\n\"Doe\"\r\n");
}

} // namespace
} // namespace cardtab
