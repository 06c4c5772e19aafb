#include "convert/run.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/bytes.hpp"
#include "support/conversion_model.hpp"
#include "io/native_files.hpp"
#include "support/memory_files.hpp"
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
// whose bytes are the marker kAbsent. `prepare` changes the folder further
// and returns why it cannot, where this system or user cannot. An
// unprivileged run is bound by permissions even where the tests run as
// root. `output`, where given, is standard output byte for byte.
struct RunCase {
    std::string name;
    std::vector<Named> before;
    std::vector<std::string> folders;
    int exit_status;
    std::string error_output;
    std::vector<Named> after;
    std::function<std::string(const ScratchFolder&)> prepare = nullptr;
    bool unprivileged = false;
    std::vector<std::string> arguments = {};
    std::optional<std::string> output = std::nullopt;
};

#ifdef _WIN32
constexpr bool kOnWindows = true;
#else
constexpr bool kOnWindows = false;
#endif

const std::string kAbsent = "<absent>";
const std::string kCards = "BEGIN:VCARD\nN:Doe\nEND:VCARD\n";
const std::string kTable = "Name\r\n\"Doe\"\r\n";

std::string repeated(std::string_view text, std::size_t times)
{
    std::string all;
    for (std::size_t n = 0; n < times; ++n) {
        all += text;
    }
    return all;
}

// The warning of a column whose tag no line has.
std::string never_taken(std::string_view title, std::string_view tag)
{
    return "cardtab: warning: column '" + std::string(title) + "' (tag '" + std::string(tag) +
           "'): no line of the card file has this tag; 'cardtab --tags' lists the tags the cards hold\n";
}

void put_inputs(const ScratchFolder& folder)
{
    folder.write("cardtab.ini", "Name=N:\n");
    folder.write("import.vcf", kCards);
}

// Returns why the case could not be run here, or nothing.
std::string check_run(const RunCase& c)
{
    ScratchFolder folder;
    for (const std::string& name : c.folders) {
        fs::create_directory(folder / name);
    }
    for (const Named& file : c.before) {
        folder.write(file.name, file.bytes);
    }
    if (c.prepare) {
        if (std::string why_not = c.prepare(folder); !why_not.empty()) {
            return " " + c.name + " (" + why_not + ")";
        }
    }
    testing::RunOptions options;
    options.unprivileged = c.unprivileged;
    // "{folder}" stands for the folder's full name, as a file dropped on
    // the program names it.
    for (std::string argument : c.arguments) {
        if (const std::size_t at = argument.find("{folder}"); at != std::string::npos) {
            argument.replace(at, 8, folder.path().string());
        }
        options.arguments.push_back(argument);
    }
    const testing::ProgramRun run = testing::run_cardtab(folder.path(), options);
    EXPECT_EQ(run.exit_status, c.exit_status) << c.name;
    EXPECT_EQ(run.error_output, c.error_output) << c.name;
    if (c.output) {
        EXPECT_EQ(escaped(run.output_bytes), escaped(*c.output)) << c.name;
    }
    EXPECT_EQ(folder.names().find(".cardtab-"), std::string::npos) << c.name << ": " << folder.names();
    for (const Named& file : c.after) {
        if (file.bytes == kAbsent) {
            EXPECT_FALSE(folder.exists(file.name)) << c.name << ": " << file.name;
        } else {
            EXPECT_EQ(escaped(folder.read(file.name)), escaped(file.bytes)) << c.name << ": " << file.name;
        }
    }
    return {};
}

void check_runs(std::span<const RunCase> cases)
{
    std::string not_run;
    for (const RunCase& c : cases) {
        not_run += check_run(c);
    }
    testing::note_not_run(not_run);
}

constexpr fs::perms kReadOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

// Where the program cannot run as another user (Windows), one that may write
// read-only files (an administrator) cannot show it.
std::string make_read_only(const ScratchFolder& folder, std::string_view name)
{
    fs::permissions(folder / name, kReadOnly);
    const bool bound = testing::can_limit_runs() || !std::ofstream(folder / name, std::ios::app);
    return bound ? "" : "this user may write read-only files";
}

std::string link_table_to_a_full_disk(const ScratchFolder& folder)
{
    if (!fs::exists("/dev/full")) {
        return "this system has no /dev/full";
    }
    return testing::make_symlink("/dev/full", folder / "import.csv") ? "" : "no symbolic link can be made here";
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
         "cardtab: folder 'import.vcf' holds no card file (*.vcf)\n", {{"import.csv", "kept"}}},
        {"a full disk", {{"import.vcf", ""}}, {}, 1,
         "cardtab: cannot write table file 'import.csv' (a link to '/dev/full'): No space left on device\n", {},
         link_table_to_a_full_disk},
        {"cardtab.ini a link to a file gone", {{"import.vcf", kCards}}, {}, 1,
         "cardtab: cannot open configuration file 'cardtab.ini' (a link to 'gone.ini'): No such file or "
         "directory\n",
         {{"import.csv", kAbsent}},
         [](const ScratchFolder& folder) {
             return testing::make_symlink("gone.ini", folder / "cardtab.ini") ? "" : "no symbolic link can be made here";
         }},
        {"a table that may not be written", {{"import.vcf", ""}, {"import.csv", "old"}}, {}, 1,
         "cardtab: cannot create table file 'import.csv': Permission denied\n", {{"import.csv", "old"}},
         [](const ScratchFolder& folder) { return make_read_only(folder, "import.csv"); }, true},
    };
    check_runs(cases);
}

TEST(Run, NamesTheFilesFromTheConfiguration)
{
    const RunCase cases[] = {
        {"defaults", {{"import.vcf", "BEGIN:VCARD\nEND:VCARD\n"}}, {}, 0,
         testing::no_configuration_warning("has no columns; run 'cardtab --tags' to see which tags the cards hold, "
                                           "or 'cardtab --decode' for the default columns"),
         {{"import.csv", "\r\n\r\n"}}},
        {"card file named", {{"cardtab.ini", "people.vcf\nName=N:\n"}, {"people.vcf", "BEGIN:VCARD\nN:Doe\nEND:VCARD\n"}},
         {}, 0, "", {{"people.csv", "Name\r\n\"Doe\"\r\n"}, {"import.csv", kAbsent}}},
        {"table file named", {{"cardtab.ini", "people.vcf\nout.csv\n"}, {"people.vcf", kCards}}, {}, 0,
         "cardtab: warning: configuration file 'cardtab.ini' gives no column, so the table has none; add lines such "
         "as 'Name=N' ('cardtab --tags' lists the cards' tags), or run 'cardtab --decode' for the default columns\n",
         {{"out.csv", "\r\n\r\n"}, {"people.csv", kAbsent}}},
        {"star resolved after the whole file", {{"cardtab.ini", "*.csv\npeople.vcf\n"}, {"people.vcf", kCards}},
         {}, 0, "cardtab: warning: configuration file 'cardtab.ini' gives no column, so the table has none; add lines such "
         "as 'Name=N' ('cardtab --tags' lists the cards' tags), or run 'cardtab --decode' for the default columns\n", {{"people.csv", "\r\n\r\n"}}},
        {"extension appended as it is", {{"cardtab.ini", "Cards.VCF.vcf\n"}, {"Cards.VCF.vcf", ""}}, {}, 1,
         "cardtab: warning: cardtab.ini: line 1: '.vcf' after the card file's name is ignored; only the word "
         "'decode', after a space, may stand there\n"
         "cardtab: cannot open card file 'Cards.vcf': No such file or directory\n",
         {{"Cards.csv", kAbsent}}},
        {"header line", {{"cardtab.ini", "N*Name=N:\nMail=EMAIL\nLast, First=FN\n"}, {"import.vcf", kCards}},
         {}, 0, never_taken("Mail", "EMAIL") + never_taken("Last, First", "FN"),
         {{"import.csv", "Name,Mail,\"Last, First\"\r\n\"Doe\",\"\",\"\"\r\n"}}},
        {"a long title is shortened with a warning",
         {{"cardtab.ini", std::string(100, 'T') + "=N:\n"}, {"import.vcf", kCards}},
         {}, 0, "cardtab: warning: cardtab.ini: line 1: title longer than 99 bytes; shortened to its first 99\n",
         {{"import.csv", std::string(99, 'T') + "\r\n\"Doe\"\r\n"}}},
        {"read-only inputs are read", {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", "BEGIN:VCARD\nN:Doe\nEND:VCARD\n"}},
         {}, 0, "", {{"import.csv", "Name\r\n\"Doe\"\r\n"}},
         [](const ScratchFolder& folder) {
             fs::permissions(folder / "cardtab.ini", kReadOnly);
             fs::permissions(folder / "import.vcf", kReadOnly);
             return std::string();
         }},
    };
    check_runs(cases);
}

// A run with arguments on its command line.
RunCase run_with(std::string name, std::vector<std::string> arguments, std::vector<Named> before, int exit_status,
                 std::string error_output, std::vector<Named> after, std::optional<std::string> output = std::nullopt,
                 std::vector<std::string> folders = {})
{
    return {std::move(name), std::move(before), std::move(folders), exit_status, std::move(error_output),
            std::move(after), nullptr, false, std::move(arguments), std::move(output)};
}

TEST(Run, TakesTheNamesTheCommandLineGives)
{
    const Named ini = {"cardtab.ini", "Name=N:\n"};
    const Named other_cards = {"import.vcf", "BEGIN:VCARD\nN:Roe\nEND:VCARD\n"};
    const Named contacts = {"contacts.vcf", kCards};
    const std::string see_help = " (see 'cardtab --help')\n";
    const RunCase cases[] = {
        run_with("a named card file, not the import.vcf beside it", {"contacts.vcf"}, {ini, other_cards, contacts},
                 0, "", {{"contacts.csv", kTable}, {"import.csv", kAbsent}}),
        run_with("the configuration's names stay unused", {"contacts.vcf"},
                 {{"cardtab.ini", "people.vcf\nout.csv\nName=N:\n"}, {"people.vcf", kCards}, contacts}, 0, "",
                 {{"contacts.csv", kTable}, {"out.csv", kAbsent}, {"people.csv", kAbsent}}),
        run_with("the configuration's *.csv stays unused", {"contacts.vcf"},
                 {{"cardtab.ini", "*.csv\nName=N:\n"}, other_cards, contacts}, 0, "",
                 {{"contacts.csv", kTable}, {"import.csv", kAbsent}}),
        run_with("a subfolder and .VCF", {"sub/Contacts.VCF"}, {ini, {"sub/Contacts.VCF", kCards}}, 0, "",
                 {{"sub/Contacts.csv", kTable}, {"Contacts.csv", kAbsent}}, std::nullopt, {"sub"}),
        run_with("a name without .vcf", {"cards.txt"}, {ini, {"cards.txt", kCards}}, 0, "",
                 {{"cards.txt.csv", kTable}}),
        run_with("a dropped file's full name", {"{folder}/drop/Contacts.vcf"}, {ini, {"drop/Contacts.vcf", kCards}},
                 0, "", {{"drop/Contacts.csv", kTable}}, std::nullopt, {"drop"}),
        run_with("a name outside the ANSI code page", {"\xD0\x9A\xD0\xBE\xD0\xBD\xD1\x82\xD0\xB0\xD0\xBA\xD1\x82\xD1\x8B.vcf"},
                 {ini, {"\xD0\x9A\xD0\xBE\xD0\xBD\xD1\x82\xD0\xB0\xD0\xBA\xD1\x82\xD1\x8B.vcf", kCards}}, 0, "",
                 {{"\xD0\x9A\xD0\xBE\xD0\xBD\xD1\x82\xD0\xB0\xD0\xBA\xD1\x82\xD1\x8B.csv", kTable}}),
        run_with("a named table", {"contacts.vcf", "Out.CSV"}, {ini, contacts}, 0, "",
                 {{"Out.CSV", kTable}, {"contacts.csv", kAbsent}}),
        run_with("- writes the table on standard output", {"contacts.vcf", "-"}, {ini, contacts}, 0, "",
                 {{"contacts.csv", kAbsent}, {"-", kAbsent}}, kTable),
        run_with("the decode word still applies", {"contacts.vcf"},
                 {{"cardtab.ini", "people.vcf decode\nName=N:1\n"}, {"contacts.vcf", "BEGIN:VCARD\nN:Doe;Jo\nEND:VCARD\n"}},
                 0, "", {{"contacts.csv", kTable}}),
        run_with("-- ends the options", {"--", "-odd.vcf"}, {ini, {"-odd.vcf", kCards}}, 0, "", {{"-odd.csv", kTable}}),
        run_with("a named card file that is missing", {"gone.vcf"}, {ini, other_cards}, 1,
                 "cardtab: cannot open card file 'gone.vcf': No such file or directory\n",
                 {{"gone.csv", kAbsent}, {"import.csv", kAbsent}}),
        run_with("a named table that is the card file", {"a.csv", "a.csv"}, {ini, {"a.csv", kCards}}, 1,
                 "cardtab: refusing to write table file 'a.csv': it would overwrite the card file 'a.csv'\n",
                 {{"a.csv", kCards}}),
        run_with("an unknown option", {"--decpde"}, {ini, other_cards}, 2,
                 "cardtab: unknown option '--decpde'" + see_help, {{"import.csv", kAbsent}}),
        run_with("a misspelt tag", {"--decode", "contacts.vcf"},
                 {{"cardtab.ini", "Name=N:1\nMobil=TEL;MOBIL\n"}, {"contacts.vcf", kCards + "TEL;CELL:1\n"}}, 0,
                 "cardtab: warning: column 'Mobil' (tag 'TEL;MOBIL'): no line of the card file has this tag; "
                 "'cardtab --decode --tags contacts.vcf' lists the tags the cards hold\n",
                 {{"contacts.csv", "Name,Mobil\r\n\"Doe\",\"\"\r\n"}}),
    };
    check_runs(cases);
    // The longest name a folder holds; on Windows its full path would pass
    // the 260 characters a path may have there.
    if (!kOnWindows) {
        const std::string longest = std::string(251, 't') + ".csv";
        check_runs(std::vector{run_with("a table name of 255 bytes", {"contacts.vcf", longest}, {ini, contacts}, 0,
                                        "", {{longest, kTable}})});
    }
}

// Card files and folders named together give one table: each file read as
// if alone, in the order named, a folder's card files in byte order of
// their names, each file once.
TEST(Run, ReadsSeveralCardFilesAndFoldersIntoOneTable)
{
    const Named ini = {"cardtab.ini", "Name=N:\n"};
    const Named a = {"a.vcf", "BEGIN:VCARD\nN:A\nEND:VCARD\n"};
    const Named b = {"b.vcf", "BEGIN:VCARD\nN:B\nEND:VCARD\n"};
    const std::string both = "Name\r\n\"A\"\r\n\"B\"\r\n";
    const std::string folder = "V\xC3\xBDpis"; // "Výpis"
    const std::vector<Named> exported = {ini, {folder + "/b.vcf", b.bytes}, {folder + "/A.VCF", a.bytes},
                                         {folder + "/notes.txt", "N:X\n"}, {folder + "/sub/c.vcf", "N:C\nEND:\n"}};
    const std::string long_name(101, 'x');
    RunCase cases[] = {
        run_with("two card files", {"a.vcf", "b.vcf"}, {ini, a, b}, 0, "", {{"a.csv", both}, {"b.csv", kAbsent}}),
        run_with("a folder", {folder}, exported, 0, "", {{folder + ".csv", both}}, std::nullopt, {folder, folder + "/sub"}),
        run_with("a folder named with a separator, and a named table", {folder + "/", "t.csv"}, exported, 0, "",
                 {{"t.csv", both}, {folder + ".csv", kAbsent}}, std::nullopt, {folder, folder + "/sub"}),
        run_with("the current folder", {".", "all.csv"}, {ini, b, a}, 0, "", {{"all.csv", both}}),
        run_with("the current folder and no table", {"."}, {ini, a}, 1,
                 "cardtab: the folder '.' gives the table no name; name it: cardtab . contacts.csv\n", {}),
        run_with("a folder without card files", {"a.vcf", "empty"}, {ini, a, {"empty/a.txt", a.bytes}}, 1,
                 "cardtab: folder 'empty' holds no card file (*.vcf)\n", {{"a.csv", kAbsent}}, std::nullopt,
                 {"empty"}),
        run_with("a file named twice and in a folder", {"a.vcf", "d", "./a.vcf", "-"}, {ini, a, {"d/b.vcf", b.bytes}}, 0,
                 "", {{"a.csv", kAbsent}}, both, {"d"}),
        run_with("a card left open at a file's end", {"a.vcf", "b.vcf"},
                 {ini, {"a.vcf", "BEGIN:VCARD\nN:A\n"}, {"b.vcf", "END:VCARD\n"}}, 0, "",
                 {{"a.csv", "Name\r\n\"\"\r\n"}}),
        run_with("a constant column in each file", {"a.vcf", "b.vcf", "-"},
                 {{"cardtab.ini", "Name=N:\nIdent=SRC\n"}, a, {"b.vcf", "END:VCARD\n"}}, 0, "", {},
                 "Name,Ident\r\n\"A\",\"SRC\"\r\n\"\",\"SRC\"\r\n"),
        run_with("warnings name the file and count over all", {"a.vcf", "b.vcf", "c.vcf", "-"},
                 {ini, a, {"b.vcf", "BEGIN:VCARD\nN:" + long_name + "\nEND:VCARD\n"},
                  {"c.vcf", "BEGIN:VCARD\nN:" + long_name + "\nEND:VCARD\n"}},
                 0,
                 "cardtab: warning: card file 'b.vcf': 2 values were longer than 100 bytes and were cut (the first "
                 "in column 'Name', line 2)\n",
                 {}, "Name\r\n\"A\"\r\n\"" + long_name.substr(0, 100) + "\"\r\n\"" + long_name.substr(0, 100) + "\"\r\n"),
        run_with("no card ended in any file", {"a.vcf", "b.vcf"}, {ini, {"a.vcf", "N:A\n"}, {"b.vcf", ""}}, 0,
                 "cardtab: warning: card files 'a.vcf' and 1 other hold no line beginning 'END:', so no card was "
                 "ended and no data line was written\n",
                 {{"a.csv", "Name\r\n"}}),
        run_with("a missing second file keeps the old table", {"a.vcf", "gone.vcf"}, {ini, a, {"a.csv", "old"}}, 1,
                 "cardtab: cannot open card file 'gone.vcf': No such file or directory\n", {{"a.csv", "old"}}),
        run_with("the table is one of the card files", {"a.vcf", "t.csv", "t.csv"}, {ini, a, {"t.csv", kCards}}, 1,
                 "cardtab: refusing to write table file 't.csv': it would overwrite the card file 't.csv'\n",
                 {{"t.csv", kCards}}),
        run_with("tags over every file", {"--tags", "a.vcf", "b.vcf"}, {ini, a, {"b.vcf", b.bytes + "BEGIN:VCARD\nTEL:1\nEND:VCARD\n"}},
                 0, "", {{"a.csv", kAbsent}},
                 kOnWindows ? "      2  N\r\n      1  TEL\r\n" : "      2  N\n      1  TEL\n"),
    };
    // A second name of a.vcf is the same file.
    cases[6].prepare = [](const ScratchFolder& scratch) {
        fs::create_hard_link(scratch / "a.vcf", scratch / "d" / "z.vcf");
        return std::string();
    };
    check_runs(cases);
}

// Standard error appended to an input (2>>import.vcf): the run writes
// nothing, and says nothing where it would be written into the input.
TEST(Run, RefusesStandardErrorThatLeadsToAnInput)
{
    const struct {
        std::string input;
        std::string what;
    } cases[] = {{"import.vcf", "card file"}, {"cardtab.ini", "configuration file"}};
    for (const auto& c : cases) {
        testing::MemoryFiles files;
        files.files["cardtab.ini"] = "Name=N:\n";
        files.files["import.vcf"] = kCards;
        files.descriptor_files[kStandardError] = c.input;
        const RunResult result = run_conversion(files);
        EXPECT_TRUE(result.failed && result.silent) << c.input;
        EXPECT_EQ(result.messages.back(), "cardtab: refusing to write messages to standard error: it would overwrite "
                                          "the " + c.what + " '" + c.input + "'");
        EXPECT_EQ(files.files.count("import.csv"), 0u);
        EXPECT_EQ(files.files["import.vcf"], kCards);
    }
}

// Bytes of the text in UTF-16 or UTF-32, little or big end first.
std::string wide_bytes(std::u32string_view text, std::size_t unit, bool little)
{
    std::string bytes;
    const auto put = [&](char32_t value) {
        for (std::size_t n = 0; n < unit; ++n) {
            const std::size_t shift = 8 * (little ? n : unit - 1 - n);
            bytes += static_cast<char>((value >> shift) & 0xFF);
        }
    };
    for (const char32_t character : text) {
        if (unit == 2 && character > 0xFFFF) {
            put(0xD800 + ((character - 0x10000) >> 10));
            put(0xDC00 + ((character - 0x10000) & 0x3FF));
        } else {
            put(character);
        }
    }
    return bytes;
}

// Decoding reads cards in UTF-16 or UTF-32, with a byte order mark or
// without, and cards whose lines end in CR alone, as the same cards in
// UTF-8.
TEST(Run, DecodesWideTextAndCrLineEndsAsUtf8)
{
    const std::u32string cards = U"BEGIN:VCARD\r\nN:Dvo\u0159\u00E1k;Ji\u0159\u00ED\r\nNOTE:\U0001F600 ok\r\nEND:VCARD\r\n";
    const std::string utf8 = "BEGIN:VCARD\r\nN:Dvo\xC5\x99\xC3\xA1k;Ji\xC5\x99\xC3\xAD\r\nNOTE:\xF0\x9F\x98\x80 ok\r\nEND:VCARD\r\n";
    const std::string table = "\xEF\xBB\xBFName,Note\r\n\"Dvo\xC5\x99\xC3\xA1k Ji\xC5\x99\xC3\xAD\",\"\xF0\x9F\x98\x80 ok\"\r\n";
    const std::string cr_only = [&] {
        std::string text = utf8;
        std::erase(text, '\n');
        return text;
    }();
    const std::pair<std::string, std::string> files[] = {
        {"UTF-8", utf8},
        {"UTF-16 with a mark", wide_bytes(U"\uFEFF" + cards, 2, true)},
        {"UTF-16, big end first, no mark", wide_bytes(cards, 2, false)},
        {"UTF-32 with a mark", wide_bytes(U"\uFEFF" + cards, 4, true)},
        {"UTF-32, big end first, no mark", wide_bytes(cards, 4, false)},
        {"CR line ends", cr_only},
    };
    std::vector<RunCase> cases;
    for (const auto& [name, bytes] : files) {
        cases.push_back(run_with(name, {"--decode", "--utf8", "c.vcf"}, {{"cardtab.ini", "Name=N\nNote=NOTE\n"}, {"c.vcf", bytes}},
                                 0, "", {{"c.csv", table}}));
    }
    check_runs(cases);
}

// Started without standard output, the run must not take the first file
// it opens for it.
TEST(Run, RefusesAClosedStandardOutput)
{
    const std::vector<std::string> runs[] = {{"contacts.vcf", "-"}, {"--tags", "contacts.vcf"}};
    const std::string messages[] = {"cardtab: cannot write the table to standard output: Bad file descriptor\n",
                                    "cardtab: cannot write the tags to standard output: Bad file descriptor\n"};
    for (std::size_t n = 0; n < std::size(runs); ++n) {
        ScratchFolder folder;
        folder.write("contacts.vcf", kCards);
        testing::RunOptions options;
        options.arguments = runs[n];
        options.output_closed = true;
        const testing::ProgramRun run = testing::run_cardtab(folder.path(), options);
        EXPECT_EQ(run.exit_status, 1) << runs[n][0];
        EXPECT_EQ(run.error_output, messages[n]);
        EXPECT_EQ(folder.read("contacts.vcf"), kCards);
        EXPECT_EQ(folder.names(), "contacts.vcf ");
    }
}

// A file dropped on the program starts it in another folder: cardtab.ini
// is then found beside the program.
TEST(Run, ReadsTheConfigurationBesideTheProgram)
{
    ScratchFolder folder;
    fs::create_directories(folder / "prog");
    fs::create_directories(folder / "work");
    const fs::path program = folder / "prog" / testing::built_path(CARDTAB_EXE).filename().string();
    fs::copy_file(testing::built_path(CARDTAB_EXE), program);
    folder.write("prog/cardtab.ini", "Name=N:\n");
    folder.write("work/contacts.vcf", kCards);
    testing::RunOptions options;
    options.program = program;
    options.arguments = {"contacts.vcf"};
    const testing::ProgramRun run = testing::run_cardtab(folder / "work", options);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.error_output, "");
    EXPECT_EQ(escaped(folder.read("work/contacts.csv")), escaped(kTable));
    EXPECT_EQ(folder.read("prog/cardtab.ini"), "Name=N:\n");
}

// The fields of one table line, each between quotes.
std::string table_line(const std::vector<std::string>& fields, char separator)
{
    std::string line;
    for (const std::string& field : fields) {
        line.append(line.empty() ? "" : std::string(1, separator)).append("\"" + field + "\"");
    }
    return line + "\r\n";
}

// Outlook's headings, and a line of its layout from the cells that are not
// empty.
const std::vector<std::string> kOutlookHeadings = {
    "First Name", "Middle Name", "Last Name", "Title", "Suffix", "Nickname", "Company", "Department", "Job Title",
    "Business Street", "Business City", "Business State", "Business Postal Code", "Business Country/Region",
    "Home Street", "Home City", "Home State", "Home Postal Code", "Home Country/Region", "Other Street",
    "Other City", "Other Postal Code", "Other Country/Region", "Business Phone", "Business Fax", "Home Phone",
    "Home Fax", "Mobile Phone", "Pager", "Other Phone", "E-mail Address", "E-mail 2 Address", "E-mail 3 Address",
    "Birthday", "Web Page", "Notes"};

std::string outlook_table(const std::map<std::string, std::string>& cells)
{
    std::string header = "\xEF\xBB\xBF";
    std::vector<std::string> fields;
    for (const std::string& heading : kOutlookHeadings) {
        header.append(fields.empty() ? "" : ",").append(heading);
        fields.push_back(cells.contains(heading) ? cells.at(heading) : "");
    }
    return header + "\r\n" + table_line(fields, ',');
}

// Decoding without a cardtab.ini, exports from an iPhone, an Android phone
// and Outlook give a contacts spreadsheet's columns, and with --outlook
// Outlook's, which Google Contacts imports too.
TEST(Run, DecodesWithDefaultColumnsWithoutAConfiguration)
{
    const std::string header = "Family name;Given name;Full name;Mobile;Phone;Phone 2;E-mail;E-mail 2;Street;City;"
                               "Postal code;Country;Company;Job title;Birthday;Note\r\n";
    const auto warning = [](std::string_view cards) {
        return testing::no_configuration_warning("has the default columns; 'cardtab --decode --tags " +
                                                 std::string(cards) + "' lists the cards' tags");
    };
    const Named apple = {"apple.vcf",
                         "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Apple Inc.//iPhone OS 17.0//EN\r\n"
                         "N:Nov\xC3\xA1k;Jan;;;\r\nFN:Jan Nov\xC3\xA1k\r\nORG:Acme s.r.o.;\r\n"
                         "item1.EMAIL;type=INTERNET;type=pref:jan@example.com\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n"
                         "TEL;type=HOME;type=VOICE:+420 222 333 444\r\nTEL;type=CELL;type=VOICE;type=pref:+420 601 234 567\r\n"
                         "item2.ADR;type=HOME;type=pref:;;Dlouh\xC3\xA1 12;Praha;;110 00;Czech Republic\r\n"
                         "NOTE:Met at the fair\\, 2024\r\nEND:VCARD\r\n"};
    const Named android = {"android.vcf",
                           "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C5=A0koda;Petr;;;\r\n"
                           "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Petr =C5=A0koda\r\nTEL;WORK:02 1234 5678\r\n"
                           "TEL;CELL;PREF:+421905111222\r\nEMAIL;HOME:petr@example.sk\r\nEMAIL;WORK:skoda@firma.sk\r\n"
                           "ADR;HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;;Hlavn=C3=A1 1;Bratislava;;811 01;Slovensko\r\n"
                           "END:VCARD\r\n"};
    const Named outlook = {"outlook.vcf",
                           "BEGIN:VCARD\r\nVERSION:2.1\r\nN;LANGUAGE=cs;CHARSET=windows-1250:Dvo\xF8\xE1k;Ji\xF8\xED;;Ing.\r\n"
                           "FN;CHARSET=windows-1250:Ing. Ji\xF8\xED Dvo\xF8\xE1k\r\n"
                           "ORG;CHARSET=windows-1250:\x8Akoda Auto a.s.;N\xE1kup\r\nTITLE:Buyer\r\n"
                           "TEL;WORK;VOICE:+420 326 811 111\r\nTEL;WORK;FAX:+420 326 811 112\r\n"
                           "TEL;CELL;VOICE:+420 777 000 111\r\n"
                           "ADR;WORK;PREF;CHARSET=windows-1250:;;t\xF8. V\xE1" "clava Klementa 869;Mlad\xE1 Boleslav;;293 01;"
                           "\xC8" "esk\xE1 republika\r\nEMAIL;PREF;INTERNET:jiri.dvorak@example.cz\r\nBDAY:19800115\r\n"
                           "END:VCARD\r\n"};
    const RunCase cases[] = {
        run_with("an iPhone export", {"--decode", "apple.vcf"}, {apple}, 0, warning("apple.vcf"),
                 {{"apple.csv", header + table_line({"Nov\xE1k", "Jan", "Jan Nov\xE1k", "+420 601 234 567",
                                                     "+420 222 333 444", "", "jan@example.com", "", "Dlouh\xE1 12",
                                                     "Praha", "110 00", "Czech Republic", "Acme s.r.o.", "", "",
                                                     "Met at the fair, 2024"},
                                                    ';')}}),
        run_with("an Android export", {"android.vcf", "--decode"}, {android}, 0, warning("android.vcf"),
                 {{"android.csv", header + table_line({"\x8Akoda", "Petr", "Petr \x8Akoda", "+421905111222",
                                                       "02 1234 5678", "", "petr@example.sk", "skoda@firma.sk",
                                                       "Hlavn\xE1 1", "Bratislava", "811 01", "Slovensko", "", "", "",
                                                       ""},
                                                      ';')}}),
        run_with("an Outlook export", {"--decode", "outlook.vcf"}, {outlook}, 0, warning("outlook.vcf"),
                 {{"outlook.csv",
                   header + table_line({"Dvo\xF8\xE1k", "Ji\xF8\xED", "Ing. Ji\xF8\xED Dvo\xF8\xE1k", "+420 777 000 111",
                                        "+420 326 811 111", "", "jiri.dvorak@example.cz", "",
                                        "t\xF8. V\xE1" "clava Klementa 869", "Mlad\xE1 Boleslav", "293 01",
                                        "\xC8" "esk\xE1 republika", "\x8Akoda Auto a.s.", "Buyer", "19800115", ""},
                                       ';')}}),
        run_with("an iPhone export for Outlook", {"--outlook", "apple.vcf"}, {apple}, 0, "",
                 {{"apple.csv", outlook_table({{"First Name", "Jan"},
                                               {"Last Name", "Nov\xC3\xA1k"},
                                               {"Company", "Acme s.r.o."},
                                               {"Home Street", "Dlouh\xC3\xA1 12"},
                                               {"Home City", "Praha"},
                                               {"Home Postal Code", "110 00"},
                                               {"Home Country/Region", "Czech Republic"},
                                               {"Home Phone", "+420 222 333 444"},
                                               {"Mobile Phone", "+420 601 234 567"},
                                               {"E-mail Address", "jan@example.com"},
                                               {"Notes", "Met at the fair, 2024"}})}}),
        run_with("an Android export for Outlook", {"--outlook", "android.vcf", "-"}, {android}, 0, "",
                 {{"android.csv", kAbsent}},
                 outlook_table({{"First Name", "Petr"},
                                {"Last Name", "\xC5\xA0koda"},
                                {"Home Street", "Hlavn\xC3\xA1 1"},
                                {"Home City", "Bratislava"},
                                {"Home Postal Code", "811 01"},
                                {"Home Country/Region", "Slovensko"},
                                {"Business Phone", "02 1234 5678"},
                                {"Mobile Phone", "+421905111222"},
                                {"E-mail Address", "petr@example.sk"},
                                {"E-mail 2 Address", "skoda@firma.sk"}})),
        run_with("an Outlook export for Outlook, in Windows-1250", {"--outlook", "--accents", "outlook.vcf"},
                 {outlook, {"cardtab.ini", "Name=N\n;"}}, 0, "",
                 {{"outlook.csv",
                   outlook_table({{"First Name", "Ji\xF8\xED"},
                                  {"Last Name", "Dvo\xF8\xE1k"},
                                  {"Title", "Ing."},
                                  {"Company", "\x8Akoda Auto a.s."},
                                  {"Department", "N\xE1kup"},
                                  {"Job Title", "Buyer"},
                                  {"Business Street", "t\xF8. V\xE1" "clava Klementa 869"},
                                  {"Business City", "Mlad\xE1 Boleslav"},
                                  {"Business Postal Code", "293 01"},
                                  {"Business Country/Region", "\xC8" "esk\xE1 republika"},
                                  {"Business Phone", "+420 326 811 111"},
                                  {"Business Fax", "+420 326 811 112"},
                                  {"Mobile Phone", "+420 777 000 111"},
                                  {"E-mail Address", "jiri.dvorak@example.cz"},
                                  {"Birthday", "19800115"}})
                       .substr(3)}}),
    };
    check_runs(cases);
}

TEST(Run, ListsTheTagsTheCardsHold)
{
    const Named cards = {"import.vcf", "BEGIN:VCARD\nVERSION:3.0\nN:Doe;John\nTEL;TYPE=CELL:1\nTEL;TYPE=CELL:2\n"
                                       "item1.EMAIL;type=INTERNET:a@b\nNOTE:long\n folded:x\nEND:VCARD\n"
                                       "BEGIN:VCARD\nN:Roe\nEND:VCARD\nX-OUTSIDE:1\n"};
    const RunCase cases[] = {
        run_with("as they stand", {"--tags"}, {cards}, 0, "", {{"import.csv", kAbsent}},
                 "      2  N\n      1  NOTE\n      1  TEL;TYPE=CELL\n      1  item1.EMAIL;type=INTERNET\n"),
        run_with("decoded", {"--tags", "--decode"}, {cards}, 0, "", {{"import.csv", kAbsent}},
                 "      2  N\n      1  EMAIL;INTERNET\n      1  NOTE\n      1  TEL;CELL\n"),
        run_with("stopped by a 0x1A", {"--tags"}, {{"import.vcf", "BEGIN:VCARD\nN:A\nEND:VCARD\n\x1A" "more"}}, 0,
                 "cardtab: warning: card file 'import.vcf': line 4 holds the byte 0x1A, which ends a file of text, so "
                 "the 4 bytes after it were not read; remove that byte to have them read\n",
                 {{"import.csv", kAbsent}}, "      1  N\n"),
    };
    for (RunCase c : cases) {
        // Console output ends its lines as the platform does.
        for (std::size_t at = 0; kOnWindows && (at = c.output->find('\n', at)) != std::string::npos; at += 2) {
            c.output->insert(at, 1, '\r');
        }
        check_run(c);
    }
}

// Runs that write a table and end well, but perhaps not as meant: the table
// and the status stay as they are, and a warning says what to change.
TEST(Run, WarnsOfEveryQuietTrap)
{
    const std::string bom = "\xEF\xBB\xBF";
    const RunCase cases[] = {
        {"a byte order mark in cardtab.ini", {{"cardtab.ini", bom + "Name=N:\n"}, {"import.vcf", kCards}}, {}, 0,
         "cardtab: warning: cardtab.ini: line 1: begins with a UTF-8 byte order mark, which becomes part of "
         "'\\u{FEFF}Name=N:'; save the file as UTF-8 without a byte order mark\n",
         {{"import.csv", "?Name\r\n\"Doe\"\r\n"}}}, // the mark is a character Windows-1250 lacks
        {"decoding: tags that name no vCard property",
         {{"cardtab.ini", "import.vcf decode\nA=TEL:x\nB=TEL:0\nC=TEL:100\nD=N:1:2\nE=TEL[0]\nF=TEL[x]\nG=.TEL\n"
                          "H=item1.\nI=;TYPE=CELL\nJ=T\"EL\nK=TEL;TYPE=CELL;VOICE;PREF\nIdent=TEL:x\nN*Ident=\nL= TEL \n"},
          {"import.vcf", "BEGIN:VCARD\nTEL:1\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: cardtab.ini: line 12: the tag 'TEL;TYPE=CELL;VOICE;' of the column 'K' is cut at 20 "
         "bytes; 'PREF' after it is left out\n" +
             [] {
                 std::string warnings;
                 const char* bad[][3] = {{"2", "TEL:x", "A"},   {"3", "TEL:0", "B"},      {"4", "TEL:100", "C"},
                                         {"5", "N:1:2", "D"},   {"6", "TEL[0]", "E"},     {"7", "TEL[x]", "F"},
                                         {"8", ".TEL", "G"},    {"9", "item1.", "H"},     {"10", ";TYPE=CELL", "I"},
                                         {"11", "T\"EL", "J"}, {"12", "TEL;TYPE=CELL;VOICE;", "K"}, {"14", "", "N*Ident"}};
                 for (const auto& b : bad) {
                     warnings += std::string("cardtab: warning: cardtab.ini: line ") + b[0] + ": the tag '" + b[1] +
                                 "' names no vCard property, so the column '" + b[2] + "' stays empty in decoding mode\n";
                 }
                 return warnings;
             }() +
             "cardtab: warning: card file 'import.vcf': 1 card was ended, but the required column 'N*Ident' (tag '') "
             "was empty in it, so no data line was written; check that its tag begins the card lines it is meant for\n",
         {{"import.csv", "A,B,C,D,E,F,G,H,I,J,K,Ident,Ident,L\r\n"}}},
        {"decoding: a parameter list longer than a line keeps",
         {{"cardtab.ini", "import.vcf decode\nName=N:\nTel=TEL\n"},
          {"import.vcf", "BEGIN:VCARD\nN:A\nTEL;" + repeated("X=1;", 1100) + ":123\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 1 value was longer than 4096 bytes and was cut (in column "
         "'Tel', line 3)\n",
         {{"import.csv", "Name,Tel\r\n\"A\",\"\"\r\n"}}},
        {"a kind of warning said five times, then counted",
         {{"cardtab.ini", repeated("import.vcf x\n", 8) + "Name=N:\n"},
          {"import.vcf", kCards}},
         {}, 0,
         [] {
             std::string warnings;
             for (int n = 1; n <= 5; ++n) {
                 warnings += "cardtab: warning: cardtab.ini: line " + std::to_string(n) +
                             ": 'x' after the card file's name is ignored; only the word 'decode', after a space, "
                             "may stand there\n";
             }
             return warnings + "cardtab: warning: cardtab.ini: line 6: the same as the 5 lines above, as are 2 more "
                               "lines after it; only the first 5 of a kind are said\n";
         }(),
         {{"import.csv", kTable}}},
        {"a byte order mark before the card file's name", {{"cardtab.ini", bom + "people.vcf\n"}}, {}, 1,
         "cardtab: warning: cardtab.ini: line 1: begins with a UTF-8 byte order mark, which becomes part of "
         "'\\u{FEFF}people.vcf'; save the file as UTF-8 without a byte order mark\n"
         "cardtab: cannot open card file '\\u{FEFF}people.vcf': No such file or directory\n",
         {}},
        {"no cardtab.ini", {{"import.vcf", kCards + kCards}}, {}, 0,
         testing::no_configuration_warning("has no columns; run 'cardtab --tags' to see which tags the cards hold, "
                                           "or 'cardtab --decode' for the default columns"),
         {{"import.csv", "\r\n\r\n\r\n"}}},
        {"a separator on a line of its own", {{"cardtab.ini", "Name=N:\n;\nMail=EMAIL\n"}, {"import.vcf", kCards}},
         {}, 0,
         "cardtab: warning: cardtab.ini: line 2: ';' became a column; only a last line without a line feed "
         "sets the separator\n" + never_taken(";", ";") + never_taken("Mail", "EMAIL"),
         {{"import.csv", "Name,;,Mail\r\n\"Doe\",\"\",\"\"\r\n"}}},
        {"a UTF-16 card file", {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", std::string("\xFF\xFE" "B\0E\0", 6)}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf' is UTF-16, in which no card line can match; save it as UTF-8\n",
         {{"import.csv", "Name\r\n"}}},
        {"values that look encoded",
         {{"cardtab.ini", "Name=FN\nNote=NOTE\nCompany=ORG\n"},
          {"import.vcf", "BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:=41\nNOTE:long\n continued\nORG:a\\, b\n"
                         "ORG:a\\b\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 3 values are encoded (quoted-printable, folded, escaped or not Windows-1250; "
         "the first on line 2) and are written as they stand; to decode them, add 'decode' after the card "
         "file's name in cardtab.ini or run 'cardtab --decode'\n"
         "cardtab: warning: card file 'import.vcf': 1 value begins like a spreadsheet formula ('=', '@', or '+' "
         "or '-' before other than a number; the first in column 'Name', the card ending on line 7), which Excel "
         "or LibreOffice runs when it opens the table; look at it before opening the table there\n",
         {{"import.csv", "Name,Note,Company\r\n\"=41\",\"long\",\"a\\b\"\r\n"}}},
        {"one value that looks encoded, on a long line", {{"cardtab.ini", "Note=NOTE\n"},
          {"import.vcf", "BEGIN:VCARD\n\n" + std::string(3000, 'x') + "\nNOTE:" + std::string(2500, 'n') + "\n \nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 1 value is encoded (quoted-printable, folded, escaped or not Windows-1250; "
         "the first on line 4) and is written as it stands; to decode it, add 'decode' after the card file's "
         "name in cardtab.ini or run 'cardtab --decode'\n"
         "cardtab: warning: card file 'import.vcf': 1 value was longer than 100 bytes and was cut (in column "
         "'Note', line 4)\n",
         {{"import.csv", "Note\r\n\"" + std::string(100, 'n') + "\"\r\n"}}},
        {"values cut at 100 bytes, but not where only blanks go", {{"cardtab.ini", "Address=ADR\nNote=NOTE\n"},
          {"import.vcf", "BEGIN:VCARD\nNOTE:" + std::string(101, 'a') + "\nADR:" + std::string(100, 'b') +
                             "   \r\r\nEND:VCARD\nBEGIN:VCARD\nNOTE:" + std::string(99, 'a') + "\xC3\xA1\xC3\xA1\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 2 values were longer than 100 bytes and were cut (the first in "
         "column 'Note', line 2)\n",
         {{"import.csv", "Address,Note\r\n\"" + std::string(100, 'b') + "\",\"" + std::string(100, 'a') + "\"\r\n\"\",\"" +
                             std::string(99, 'a') + "a\"\r\n"}}},
        {"decoding: the decoded text counts, in the table's set",
         {{"cardtab.ini", "import.vcf decode\n*.csv utf8\nNote=NOTE\n"},
          {"import.vcf", "BEGIN:VCARD\nNOTE;ENCODING=QUOTED-PRINTABLE:" + repeated("=41", 1300) + "\nEND:VCARD\nBEGIN:VCARD\nNOTE;CHARSET=CP1250:" + std::string(2100, '\xE8') + "\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 1 value was longer than 4096 bytes and was cut (in column "
         "'Note', line 5)\n",
         {{"import.csv", "\xEF\xBB\xBFNote\r\n\"" + std::string(1300, 'A') + "\"\r\n\"" + [] {
               std::string letters;
               for (int n = 0; n < 2048; ++n) {
                   letters += "\xC4\x8D";
               }
               return letters;
           }() + "\"\r\n"}}},
        {"what decoding would leave as it is does not look encoded",
         {{"cardtab.ini", "Note=NOTE\nName=FN\nFamily=N:\n"},
          {"import.vcf", "BEGIN:VCARD\nVERSION:2.1\nNOTE:saved in C:\\new\nFN;ENCODING=QUOTED-PRINTABLE:Hello\n"
                         "N:Dvo\xC5\x99\xC3\xA1k\nEND:VCARD\n"}},
         {}, 0, "", {{"import.csv", "Note,Name,Family\r\n\"saved in C:\\new\",\"Hello\",\"Dvorak\"\r\n"}}},
        {"UTF-8 that is not folded, another character set, grouped and lower-case lines",
         {{"cardtab.ini", "Note=NOTE\nOrg=ORG\nMail=EMAIL\nPhone=TEL\n"},
          {"import.vcf", "BEGIN:VCARD\nNOTE:5 \xE2\x82\xAC\nORG;CHARSET=ISO-8859-2:\xA9koda\nitem1.EMAIL:a@b.c\n"
                         "tel;cell:1\nX-PHONETIC-9:a.b\nGROUPOFCONTACTS1.EMAIL:c@d\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 2 values are encoded (quoted-printable, folded, escaped or not "
         "Windows-1250; the first on line 2) and are written as they stand; to decode them, add 'decode' after the "
         "card file's name in cardtab.ini or run 'cardtab --decode'\n"
         "cardtab: warning: card file 'import.vcf': 3 lines name properties that a column's tag names, but do not "
         "begin with the tag (grouped, as item1.EMAIL, or in lower case; the first on line 4); to read them, add "
         "'decode' after the card file's name in cardtab.ini or run 'cardtab --decode'\n" +
             never_taken("Mail", "EMAIL") + never_taken("Phone", "TEL"),
         {{"import.csv", "Note,Org,Mail,Phone\r\n\"5 \xE2\x82\xAC\",\"\xA9koda\",\"\",\"\"\r\n"}}},
        {"decoding: character sets this program does not know",
         {{"cardtab.ini", "import.vcf decode\nName=N\nNote=NOTE\n"},
          {"import.vcf", "BEGIN:VCARD\nN;CHARSET=KOI8-R:x\nNOTE;CHARSET=koi8-r:y\nEND:VCARD\n"
                         "BEGIN:VCARD\nN;CHARSET=\"SHIFT_JIS\":z\nNOTE;CHARSET=x-mac;CHARSET=UTF-8:w\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 4 lines name a character set this program does not know "
         "('KOI8-R' and 2 others; the first on line 2), so their values were read as UTF-8 where they are, else as "
         "Windows-1250\n",
         {{"import.csv", "Name,Note\r\n\"x\",\"y\"\r\n\"z\",\"w\"\r\n"}}},
        {"an escaped colon looks encoded too", {{"cardtab.ini", "Note=NOTE\n"},
          {"import.vcf", "BEGIN:VCARD\nNOTE:a\\:b\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 1 value is encoded (quoted-printable, folded, escaped or not Windows-1250; "
         "the first on line 2) and is written as it stands; to decode it, add 'decode' after the card file's "
         "name in cardtab.ini or run 'cardtab --decode'\n",
         {{"import.csv", "Note\r\n\"a\\:b\"\r\n"}}},
        {"a separator with a space after it on the last line", {{"cardtab.ini", "Name=N:\n; "}, {"import.vcf", kCards}},
         {}, 0,
         "cardtab: warning: cardtab.ini: line 2: '; ' became a column; a last line sets the separator only when "
         "it holds nothing else, no space, tab or CR around it\n" + never_taken(";", ";"),
         {{"import.csv", "Name,;\r\n\"Doe\",\"\"\r\n"}}},
        {"a separator with a tab before it and a CR after it", {{"cardtab.ini", "Name=N:\n\t;\r"}, {"import.vcf", kCards}},
         {}, 0,
         "cardtab: warning: cardtab.ini: line 2: '\\x09;\\x0D' became a column; a last line sets the separator only "
         "when it holds nothing else, no space, tab or CR around it\n" + never_taken("\\x09;\\x0D", "\\x09;\\x0D"),
         {{"import.csv", "Name,\"\t;\r\"\r\n\"Doe\",\"\"\r\n"}}},
        {"a cardtab.ini in UTF-16", {{"cardtab.ini", std::string("\xFF\xFEN\0a\0m\0e\0=\0N\0:\0\n\0", 18)},
                                     {"import.vcf", kCards}},
         {}, 0,
         "cardtab: warning: configuration file 'cardtab.ini' is UTF-16, in which no line is read as meant; save it "
         "as UTF-8\n" + never_taken("\\xFF\\xFEN", "\\xFF\\xFEN") + never_taken("", ""),
         {{"import.csv", "\xFF\xFEN,\r\n\"\",\"\"\r\n"}}},
        {"a required column empty in every card", {{"cardtab.ini", "N*Name=N:\nMail=EMAIL\n"},
          {"import.vcf", "BEGIN:VCARD\nitem1.N:Doe\nEND:VCARD\nBEGIN:VCARD\nN;CHARSET=UTF-8:Roe\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 1 line names a property that a column's tag names, but does "
         "not begin with the tag (grouped, as item1.EMAIL, or in lower case; the first on line 2); to read it, add "
         "'decode' after the card file's name in cardtab.ini or run 'cardtab --decode'\n"
         "cardtab: warning: card file 'import.vcf': 2 cards were ended, but the required column 'N*Name' (tag 'N:') "
         "was empty in every one, so no data line was written; check that its tag begins the card lines it is "
         "meant for\n" + never_taken("Mail", "EMAIL"),
         {{"import.csv", "Name,Mail\r\n"}}},
        {"a 0x1A in the card file", {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", kCards + "\x1A" + kCards}}, {}, 0,
         "cardtab: warning: card file 'import.vcf': line 4 holds the byte 0x1A, which ends a file of text, so the 25 "
         "bytes after it were not read; remove that byte to have them read\n",
         {{"import.csv", kTable}}},
        {"a 0x1A at the very end loses nothing", {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", kCards + "\x1A"}}, {}, 0,
         "", {{"import.csv", kTable}}},
        {"a no-break space before decode", {{"cardtab.ini", "import.vcf\xC2\xA0" "decode\nName=N:\n"}, {"import.vcf", kCards}},
         {}, 0,
         "cardtab: warning: cardtab.ini: line 1: '\\u{00A0}decode' after the card file's name is ignored; only the "
         "word 'decode', after a space, may stand there\n",
         {{"import.csv", kTable}}},
        {"a DOS end-of-file mark and a line end", {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", kCards + "\x1A\r\n\x1A"}},
         {}, 0, "", {{"import.csv", kTable}}},
        {"a UTF-32 card file", {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", std::string("\xFF\xFE\0\0B\0\0\0", 8)}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf' is UTF-32, in which no card line can match; save it as UTF-8\n",
         {{"import.csv", "Name\r\n"}}},
        {"no card ever ends", {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", "BEGIN:VCARD\nN:Doe\n"}}, {}, 0,
         "cardtab: warning: card file 'import.vcf' holds no line beginning 'END:', so no card was ended and no "
         "data line was written\n",
         {{"import.csv", "Name\r\n"}}},
        {"title marks inside words", {{"cardtab.ini", "Tel. #2=TEL\nIdentifikacni cislo=X-ICO\nN*#Ok=N:\n"},
                                      {"import.vcf", "BEGIN:VCARD\nN:D o\nTEL:1 2\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: cardtab.ini: line 1: the title 'Tel. #2' holds '#', so the column is required (a card "
         "without it gives no row) and loses every space of its values; the mark is meant at a title's start, or "
         "not at all\n"
         "cardtab: warning: cardtab.ini: line 2: the title 'Identifikacni cislo' holds 'Ident', so every row shows "
         "the column's tag 'X-ICO' and no card's value; to have the values, write another word in its place\n",
         {{"import.csv", "Tel. #2,Identifikacni cislo,#Ok\r\n\"12\",\"X-ICO\",\"Do\"\r\n"}}},
        {"a card without its required column, among cards with rows",
         {{"cardtab.ini", "Name=N:\n#Phone=TEL\n"}, {"import.vcf", "BEGIN:VCARD\nN:Doe\nTEL:1\nEND:VCARD\n" + kCards}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 1 card gave no row: the required column '#Phone' (tag 'TEL') was empty (at line 7); a "
         "'*' or '#' in a title makes its column required\n",
         {{"import.csv", "Name,#Phone\r\n\"Doe\",\"1\"\r\n"}}},
        {"a byte order mark where two exports were joined",
         {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", kCards + bom + "BEGIN:VCARD\nEND:VCARD\n"}}, {}, 0,
         "cardtab: warning: card file 'import.vcf': line 4 begins with a UTF-8 byte order mark, as where two exports were joined, so a "
         "card beginning there is not seen; 'cardtab --decode' drops the mark\n",
         {{"import.csv", "Name\r\n\"Doe\"\r\n\"Doe\"\r\n"}}},
        {"a long line's later piece taken by a column",
         {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", "BEGIN:VCARD\nPHOTO:" + std::string(1993, 'x') + "N:X\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 1 value was taken from the middle of a line longer than 1,999 bytes, whose pieces are "
         "read as lines (the first in column 'Name', line 2); such a line is most often a photo, which 'cardtab "
         "--decode' reads whole\n",
         {{"import.csv", "Name\r\n\"X\"\r\n"}}},
        {"values a spreadsheet runs as formulas, and numbers it does not",
         {{"cardtab.ini", "Name=N:\nTel=TEL\nNote=NOTE\n"},
          {"import.vcf", "BEGIN:VCARD\nN:Doe\nTEL:+420 1\nNOTE:-2+3\nEND:VCARD\nBEGIN:VCARD\nN:@SUM(A1)\nTEL:-.5\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 2 values begin like a spreadsheet formula ('=', '@', or '+' or '-' before other than "
         "a number; the first in column 'Note', the card ending on line 5), which Excel or LibreOffice runs when "
         "it opens the table; look at them before opening the table there\n",
         {{"import.csv", "Name,Tel,Note\r\n\"Doe\",\"+420 1\",\"-2+3\"\r\n\"@SUM(A1)\",\"-.5\",\"\"\r\n"}}},
        {"decoding: a value read as Windows-1250 for want of a character set",
         {{"cardtab.ini", "import.vcf decode\nName=N\n"}, {"import.vcf", "BEGIN:VCARD\nN:\xC8" "ern\xFD\nEND:VCARD\n"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf': 1 value names no character set and is not UTF-8, so it was read as Windows-1250 (the "
         "first on line 2); a value in another code page needs CHARSET= on its line (UTF-8, ISO-8859-1, "
         "ISO-8859-2, Windows-1250 or Windows-1252), or the export saved as UTF-8\n",
         {{"import.csv", "Name\r\n\"Cerny\"\r\n"}}},
        {"lines that end in CR alone", {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", "BEGIN:VCARD\rN:Doe\rEND:VCARD\r"}},
         {}, 0,
         "cardtab: warning: card file 'import.vcf' ends its lines in CR alone (an old Mac export), so the whole file reads as one line "
         "and no card was ended; save it with CR LF or LF line ends\n",
         {{"import.csv", "Name\r\n"}}},
        {"UTF-16 without a byte order mark", {{"cardtab.ini", "Name=N:\n"}, {"import.vcf", std::string("B\0E\0G\0", 6)}},
         {}, 0, "cardtab: warning: card file 'import.vcf' is UTF-16, in which no card line can match; save it as UTF-8\n",
         {{"import.csv", "Name\r\n"}}},
        {"an empty cardtab.ini, decoding", {{"cardtab.ini", ""}, {"import.vcf", kCards}}, {}, 0,
         "cardtab: warning: configuration file 'cardtab.ini' gives no column, so the table has the default "
         "columns; 'cardtab --decode --tags' lists the cards' tags\n",
         {{"import.csv", "Family name;Given name;Full name;Mobile;Phone;Phone 2;E-mail;E-mail 2;Street;City;"
                         "Postal code;Country;Company;Job title;Birthday;Note\r\n" +
                             table_line({"Doe", "", "", "", "", "", "", "", "", "", "", "", "", "", "", ""}, ';')}},
         nullptr, false, {"--decode"}},
        {"names with control bytes are shown escaped",
         {{"cardtab.ini", "\x1B[2J\x1B[31mgone\rfake.vcf\n"}}, {}, 1,
         "cardtab: cannot open card file '\\x1B[2J\\x1B[31mgone\\x0Dfake.vcf': No such file or directory\n", {}},
    };
    check_runs(cases);
}

TEST(Run, AnswersHelpAndVersionWithoutTouchingAFile)
{
    const struct {
        std::string argument;
        std::string output_starts;
    } cases[] = {
        {"--help", "Usage: cardtab [--decode] [--tags] [--accents|--utf8] [--outlook]\n               [CARDS...] [TABLE]\n"},
        {"-h", "Usage: cardtab [--decode] [--tags] [--accents|--utf8] [--outlook]\n               [CARDS...] [TABLE]\n"},
        {"--version", "cardtab "},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        put_inputs(folder);
        folder.write("import.csv", "old table");
        const testing::ProgramRun run = testing::run_cardtab(folder.path(), {.arguments = {c.argument}});
        EXPECT_EQ(run.exit_status, 0) << c.argument;
        EXPECT_TRUE(run.output.starts_with(c.output_starts)) << c.argument << ": " << run.output;
        EXPECT_EQ(run.error_output, "") << c.argument;
        EXPECT_EQ(folder.read("import.csv"), "old table") << c.argument;
        EXPECT_EQ(folder.names(), "cardtab.ini import.csv import.vcf ") << c.argument;
    }
}

// A table that is locked (copied into place, so with a second name where
// Windows does not hold it open) while another program holds it.
void put_a_table_to_lock(const ScratchFolder& folder)
{
    folder.write("cardtab.ini", "Name=N:\n");
    folder.write("import.vcf", kCards);
    folder.write("import.csv", "old");
    if (!kOnWindows) {
        fs::create_hard_link(folder / "import.csv", folder / "second.csv");
    }
}

TEST(Run, WaitsTenSecondsForAnotherProgramThatHoldsTheTable)
{
    ScratchFolder folder;
    put_a_table_to_lock(folder);
    const std::string names = folder.names();
    auto lock = std::make_unique<testing::FileLock>(folder / "import.csv", std::chrono::minutes(1));
    if (!lock->locks()) {
        GTEST_SKIP() << "this system cannot hold a file against other processes";
    }
    const auto start = std::chrono::steady_clock::now();
    const testing::ProgramRun run = testing::run_cardtab(folder.path());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    lock.reset(); // Windows lets no one read a file held so
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.error_output, "cardtab: waiting for another program to release 'import.csv'...\n"
                                "cardtab: cannot lock table file 'import.csv': held by another program\n");
    EXPECT_EQ(folder.read("import.csv"), "old");
    EXPECT_EQ(folder.names(), names);
}

// The wait is no hold: an interrupt while the run waits still ends it, with
// the old table and nothing left behind.
TEST(Run, AnInterruptWhileWaitingForTheTableCleansUp)
{
    if (!testing::can_interrupt_runs()) {
        GTEST_SKIP() << "this system cannot interrupt a run here";
    }
    ScratchFolder folder;
    put_a_table_to_lock(folder);
    const std::string names = folder.names();
    auto lock = std::make_unique<testing::FileLock>(folder / "import.csv", std::chrono::minutes(1));
    ASSERT_TRUE(lock->locks());
    testing::RunOptions options;
    options.signal_number = SIGTERM;
    options.signal_after = std::chrono::milliseconds(1500);
    const testing::ProgramRun run = testing::run_cardtab(folder.path(), options);
    lock.reset();
    EXPECT_EQ(run.exit_status, 128 + SIGTERM);
    EXPECT_EQ(run.error_output, "cardtab: waiting for another program to release 'import.csv'...\n");
    EXPECT_EQ(folder.read("import.csv"), "old");
    EXPECT_EQ(folder.names(), names);
}

std::vector<std::string>& said_while_waiting()
{
    static std::vector<std::string> said;
    return said;
}

// The wait shortened: a program that lets go in time, and one that does not.
TEST(Run, WaitsForALockAsLongAsTheRunAllows)
{
    using std::chrono::milliseconds;
    const struct {
        milliseconds hold;
        milliseconds wait;
        bool converts;
    } cases[] = {{milliseconds(400), milliseconds(20000), true}, {milliseconds(60000), milliseconds(400), false}};
    for (const auto& c : cases) {
        ScratchFolder folder;
        put_a_table_to_lock(folder);
        const std::string names = folder.names();
        auto lock = std::make_unique<testing::FileLock>(folder / "import.csv", c.hold);
        if (!lock->locks()) {
            GTEST_SKIP() << "this system cannot hold a file against other processes";
        }
        said_while_waiting().clear();
        RunOptions options = testing::naming((folder / "import.vcf").string(), (folder / "import.csv").string());
        options.lock_wait = {c.wait, milliseconds(50), milliseconds(10),
                             [](std::string_view line) { said_while_waiting().emplace_back(line); }};
        NativeFiles files;
        const RunResult result = run_conversion(files, options);
        lock.reset();
        EXPECT_EQ(result.failed, !c.converts) << c.hold.count();
        EXPECT_EQ(said_while_waiting(), std::vector<std::string>{"waiting for another program to release '" +
                                                                 (folder / "import.csv").string() + "'..."});
        EXPECT_EQ(folder.read("import.csv") == "old", !c.converts) << c.hold.count();
        EXPECT_EQ(folder.names(), names);
    }
}

fs::path utf8_path(std::string_view bytes)
{
    return fs::path(std::u8string(bytes.begin(), bytes.end()));
}

TEST(Run, OpensAndWritesFilesNamedInUtf8)
{
    const std::string card_name = "Adres\xC3\xA1\xC5\x99.vcf";         // Adresář
    const std::string table_name = "Seznam_kontakt\xC5\xAF.csv";      // Seznam_kontaktů
    ScratchFolder folder;
    folder.write("cardtab.ini", card_name + "\n" + table_name + "\nName=N:\n");
    std::ofstream(folder.path() / utf8_path(card_name), std::ios::binary) << kCards;
    const testing::ProgramRun run = testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 0) << run.error_output;
    EXPECT_EQ(ScratchFolder::read_file(folder.path() / utf8_path(table_name)), kTable);
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
            not_made += " " + name + " (no symbolic link can be made here)";
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
    testing::note_not_run(not_made);
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

#ifndef _WIN32
// A table of root's in a folder anyone may write, replaced by another
// user, stays root's: it is copied into place, not renamed over.
TEST(Run, KeepsTheOwnerOfAnotherUsersTable)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can give the table an owner the run is not";
    }
    ScratchFolder folder;
    put_inputs(folder);
    folder.write("import.csv", "old table");
    fs::permissions(folder.path(), fs::perms::all);
    fs::permissions(folder / "import.csv", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                               fs::perms::group_write | fs::perms::others_read |
                                               fs::perms::others_write);
    const testing::ProgramRun run = testing::run_cardtab(folder.path(), {.unprivileged = true});
    EXPECT_EQ(run.exit_status, 0) << run.error_output;
    EXPECT_EQ(folder.read("import.csv"), kTable);
    struct stat info{};
    ASSERT_EQ(stat((folder / "import.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(info.st_gid, 0u);
}
#endif

TEST(Run, AnInterruptKeepsTheOldTableAndLeavesNothingBehind)
{
    if (!testing::can_interrupt_runs()) {
        GTEST_SKIP() << "this system cannot interrupt a run from a test";
    }
#ifndef _WIN32
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU, SIGUSR1, SIGALRM}) {
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

#ifndef _WIN32
// A folder the run may not make a file in, holding a table it may write,
// reached through a link; and a folder of the run's own for temporary files.
void make_a_shared_folder_that_refuses_new_files(const ScratchFolder& folder)
{
    using fs::perms;
    folder.write("cardtab.ini", "Name=N:\n");
    fs::create_directory(folder / "shared");
    folder.write("shared/list.csv", "old table");
    fs::permissions(folder / "shared/list.csv", perms::owner_read | perms::owner_write | perms::group_read |
                                                    perms::group_write | perms::others_read | perms::others_write);
    fs::permissions(folder / "shared", perms::owner_read | perms::owner_exec | perms::group_read |
                                           perms::group_exec | perms::others_read | perms::others_exec);
    fs::create_directory(folder / "tmp");
    fs::permissions(folder / "tmp", perms::all | perms::sticky_bit);
    fs::permissions(folder.path(), perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                                       perms::others_exec);
}

#endif

std::string many_cards(int count, std::string_view name)
{
    std::string cards;
    for (int n = 0; n < count; ++n) {
        cards += "BEGIN:VCARD\nN:" + std::string(name) + " " + std::to_string(n) + "\nEND:VCARD\n";
    }
    return cards;
}

std::string table_of(int count, std::string_view name)
{
    std::string table = "Name\r\n";
    for (int n = 0; n < count; ++n) {
        table += "\"" + std::string(name) + " " + std::to_string(n) + "\"\r\n";
    }
    return table;
}

#ifndef _WIN32
// Nothing but the table, in the shared folder and among the temporary
// files, is left of the run.
void expect_no_new_file(const ScratchFolder& folder, const std::string& name)
{
    EXPECT_EQ(fs::directory_iterator(folder / "shared")->path().filename(), "list.csv") << name;
    EXPECT_TRUE(fs::is_empty(folder / "tmp")) << name;
}

#endif

TEST(Run, ATableInAFolderThatRefusesNewFilesIsCopiedIntoPlaceWhole)
{
    if (!testing::can_limit_runs() || !testing::can_interrupt_runs()) {
        GTEST_SKIP() << "this system cannot run the program as another user, limit it or interrupt it";
    }
#ifndef _WIN32
    const std::string cards = many_cards(2000, "Someone with a long enough name");
    const testing::RunOptions as_nobody = {.unprivileged = true,
                                           .temporary_folder = std::string(),
                                           .output_before = std::string()};
    {
        ScratchFolder folder;
        make_a_shared_folder_that_refuses_new_files(folder);
        folder.write("import.vcf", kCards);
        ASSERT_TRUE(testing::make_symlink(fs::path("shared") / "list.csv", folder / "import.csv"));
        testing::RunOptions options = as_nobody;
        options.temporary_folder = (folder / "tmp").string();
        const testing::ProgramRun run = testing::run_cardtab(folder.path(), options);
        EXPECT_EQ(run.exit_status, 0) << run.error_output;
        EXPECT_EQ(escaped(folder.read("shared/list.csv")), escaped(kTable));
        expect_no_new_file(folder, "copied");
    }
    {
        ScratchFolder folder;
        make_a_shared_folder_that_refuses_new_files(folder);
        folder.write("import.vcf", cards);
        ASSERT_TRUE(testing::make_symlink(fs::path("shared") / "list.csv", folder / "import.csv"));
        testing::RunOptions options = as_nobody;
        options.temporary_folder = (folder / "tmp").string();
        options.file_size_bytes = 4096;
        const testing::ProgramRun run = testing::run_cardtab(folder.path(), options);
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.error_output, "cardtab: cannot write temporary file in '" + options.temporary_folder +
                                        "/' (TMPDIR) for table 'import.csv': File too large\n");
        EXPECT_EQ(folder.read("shared/list.csv"), "old table");
        expect_no_new_file(folder, "limited");
    }
    for (const int signal_number : {SIGTERM, SIGQUIT}) {
        ScratchFolder folder;
        make_a_shared_folder_that_refuses_new_files(folder);
        ASSERT_TRUE(testing::make_symlink(fs::path("shared") / "list.csv", folder / "import.csv"));
        testing::RunOptions options = as_nobody;
        options.temporary_folder = (folder / "tmp").string();
        const testing::InterruptedRun interrupted =
            testing::run_cardtab_interrupted(folder.path(), signal_number, cards, options);
        EXPECT_TRUE(interrupted.new_file_seen) << "signal " << signal_number;
        EXPECT_EQ(interrupted.run.exit_status, 128 + signal_number);
        EXPECT_EQ(folder.read("shared/list.csv"), "old table") << "signal " << signal_number;
        expect_no_new_file(folder, "signal " + std::to_string(signal_number));
    }
#endif
}

// The temporary file's own failures name it; a folder that allows no new
// file and holds no table fails before anything is written; a sticky
// folder's table of another owner is copied into.
TEST(Run, NamesTheFileThatFailedAndCopiesWhereTheFolderWillNotRename)
{
#ifdef _WIN32
    GTEST_SKIP() << "this system cannot run the program as another user";
#else
    const bool root = geteuid() == 0;
    const struct {
        std::string name;
        std::string table;             // where import.csv leads
        std::string temporary_folder;  // "{folder}" stands for the folder's name
        bool needs_root;
        int exit_status;
        std::string error_output;
    } cases[] = {
        {"a temporary folder that is not there", "shared/list.csv", "/nonexistent", false, 1,
         "cardtab: cannot create temporary file in '/nonexistent/' (TMPDIR) for table 'import.csv': No such file or "
         "directory\n"},
        {"a temporary folder the user may not enter", "shared/list.csv", "{folder}/private", true, 1,
         "cardtab: cannot create temporary file in '{folder}/private/' (TMPDIR) for table 'import.csv': Permission "
         "denied\n"},
        {"no table yet in a folder that allows no new file", "shared/none.csv", "{folder}/tmp", false, 1,
         "cardtab: cannot create table file 'import.csv' (a link to 'shared/none.csv'): its folder does not allow "
         "new files (Permission denied)\n"},
        {"a sticky folder and a table of another owner", "drop/list.csv", "{folder}/tmp", true, 0, ""},
    };
    std::string not_run;
    for (const auto& c : cases) {
        if (c.needs_root && !root) {
            not_run += " " + c.name + " (the tests do not run as root, so nothing belongs to another user)";
            continue;
        }
        ScratchFolder folder;
        make_a_shared_folder_that_refuses_new_files(folder);
        folder.write("import.vcf", kCards);
        fs::create_directory(folder / "private");
        fs::create_directory(folder / "drop");
        fs::permissions(folder / "drop", fs::perms::all | fs::perms::sticky_bit);
        folder.write("drop/list.csv", "old table");
        fs::permissions(folder / "drop/list.csv", fs::perms::owner_read | fs::perms::owner_write |
                                                      fs::perms::group_read | fs::perms::group_write |
                                                      fs::perms::others_read | fs::perms::others_write);
        ASSERT_TRUE(testing::make_symlink(c.table, folder / "import.csv"));
        const auto with_folder = [&](std::string text) {
            for (std::size_t at = text.find("{folder}"); at != std::string::npos; at = text.find("{folder}")) {
                text.replace(at, 8, folder.path().string());
            }
            return text;
        };
        testing::RunOptions options;
        options.unprivileged = true;
        options.temporary_folder = with_folder(c.temporary_folder);
        const testing::ProgramRun run = testing::run_cardtab(folder.path(), options);
        EXPECT_EQ(run.exit_status, c.exit_status) << c.name;
        EXPECT_EQ(run.error_output, with_folder(c.error_output)) << c.name;
        if (c.table == "shared/none.csv") {
            EXPECT_FALSE(folder.exists(c.table)) << c.name;
        } else {
            EXPECT_EQ(escaped(folder.read(c.table)), escaped(c.exit_status == 0 ? kTable : "old table")) << c.name;
        }
        struct stat table{};
        EXPECT_EQ(stat((folder / "drop/list.csv").c_str(), &table), 0);
        EXPECT_EQ(table.st_uid, geteuid()) << c.name << ": the table keeps its owner";
        EXPECT_EQ(std::distance(fs::directory_iterator(folder / "drop"), fs::directory_iterator()), 1) << c.name;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder / "shared"), fs::directory_iterator()), 1) << c.name;
        EXPECT_TRUE(fs::is_empty(folder / "tmp")) << c.name;
    }
    testing::note_not_run(not_run);
#endif
}

TEST(Run, ARunAtATimeCopiesIntoATableWithTwoNames)
{
    if (!testing::can_interrupt_runs()) {
        GTEST_SKIP() << "this system runs the program one at a time here";
    }
    ScratchFolder folder;
    fs::create_directory(folder / "shared");
    folder.write("shared/t.csv", "old table");
    fs::create_hard_link(folder / "shared/t.csv", folder / "shared/t2.csv");
    std::vector<fs::path> runs;
    std::vector<std::string> tables;
    for (int n = 0; n < 10; ++n) {
        const fs::path run = folder / ("run" + std::to_string(n));
        fs::create_directory(run);
        const std::string name = "Run " + std::to_string(n);
        folder.write("run" + std::to_string(n) + "/cardtab.ini", "Name=N:\n");
        folder.write("run" + std::to_string(n) + "/import.vcf", many_cards(3000 + 100 * n, name));
        ASSERT_TRUE(testing::make_symlink(fs::path("..") / "shared" / (n % 2 == 0 ? "t.csv" : "t2.csv"),
                                          run / "import.csv"));
        runs.push_back(run);
        tables.push_back(table_of(3000 + 100 * n, name));
    }
    for (const testing::ProgramRun& run : testing::run_cardtabs_at_once(runs)) {
        EXPECT_EQ(run.exit_status, 0) << run.error_output;
    }
    const std::string table = folder.read("shared/t.csv");
    EXPECT_NE(std::find(tables.begin(), tables.end(), table), tables.end()) << "one run's whole table";
    EXPECT_EQ(folder.read("shared/t2.csv"), table) << "the second name still names the table";
    EXPECT_EQ(folder.names(), "run0 run1 run2 run3 run4 run5 run6 run7 run8 run9 shared ");
}

// A table linked to /dev/stdout or /dev/stderr is written where the shell
// opened them: what the shell or the program writes there later follows
// the table, and two runs appending to one log never mix their rows.
TEST(Run, WritesThroughTheDescriptorsALinkNames)
{
    std::string not_run;
    for (const std::string stream : {"/dev/stdout", "/dev/stderr"}) {
        ScratchFolder folder;
        folder.write("cardtab.ini", "Name=N:\nMail=EMAIL\n");
        folder.write("import.vcf", kCards);
        if (!testing::make_symlink(stream, folder / "import.csv")) {
            not_run += " " + stream + " (no symbolic link can be made here)";
            continue;
        }
        testing::RunOptions options;
        options.output_after = "run done\n";
        const testing::ProgramRun run = testing::run_cardtab(folder.path(), options);
        const std::string table = "Name,Mail\r\n\"Doe\",\"\"\r\n";
        EXPECT_EQ(run.exit_status, 0) << stream;
        const bool to_output = stream == "/dev/stdout";
        EXPECT_EQ(escaped(run.output_bytes), escaped(to_output ? table + "run done\n" : "run done\n")) << stream;
        EXPECT_EQ(escaped(run.error_output), escaped((to_output ? "" : table) + never_taken("Mail", "EMAIL"))) << stream;
    }
    if (!testing::can_interrupt_runs()) {
        testing::note_not_run(not_run + " two runs at once (this system runs one at a time here)");
        return;
    }
    ScratchFolder folder;
    std::vector<fs::path> runs;
    std::vector<std::string> tables;
    for (int n = 0; n < 2; ++n) {
        const std::string name = "run" + std::to_string(n);
        fs::create_directory(folder / name);
        folder.write(name + "/cardtab.ini", "Name=N:\n");
        folder.write(name + "/import.vcf", many_cards(20000, name));
        ASSERT_TRUE(testing::make_symlink("/dev/stdout", folder / name / "import.csv"));
        runs.push_back(folder / name);
        tables.push_back(table_of(20000, name));
    }
    testing::RunOptions options;
    options.output_file = folder / "log";
    for (const testing::ProgramRun& run : testing::run_cardtabs_at_once(runs, options)) {
        EXPECT_EQ(run.exit_status, 0) << run.error_output;
    }
    const std::string log = folder.read("log");
    EXPECT_TRUE(log == tables[0] + tables[1] || log == tables[1] + tables[0]) << "two whole tables, one after the other";
    testing::note_not_run(not_run);
}

// What a rename would drop: the table's other names, its access-control
// list, its attributes. Each is kept, and so is the file itself.
TEST(Run, KeepsWhatTheOldTableCarriesBesideItsBytes)
{
    const struct {
        std::string name;
        std::function<std::string(const ScratchFolder&)> give;  // returns why it cannot, or nothing
        std::function<bool(const ScratchFolder&)> still_there;
    } cases[] = {
        {"a second name (hard link)",
         [](const ScratchFolder& folder) {
             fs::create_hard_link(folder / "import.csv", folder / "other.csv");
             return std::string();
         },
         [](const ScratchFolder& folder) { return folder.read("other.csv") == kTable; }},
        {"an extended attribute", testing::give_attribute, testing::has_attribute},
        {"an access-control list", testing::give_acl, testing::has_acl},
    };
    std::string not_run;
    for (const auto& c : cases) {
        ScratchFolder folder;
        put_inputs(folder);
        folder.write("import.csv", "old table");
        if (const std::string why_not = c.give(folder); !why_not.empty()) {
            not_run += " " + c.name + " (" + why_not + ")";
            continue;
        }
        const auto before = testing::file_id(folder / "import.csv");
        const testing::ProgramRun run = testing::run_cardtab(folder.path());
        EXPECT_EQ(run.exit_status, 0) << c.name << ": " << run.error_output;
        EXPECT_EQ(escaped(folder.read("import.csv")), escaped(kTable)) << c.name;
        EXPECT_TRUE(c.still_there(folder)) << c.name;
        EXPECT_EQ(testing::file_id(folder / "import.csv"), before) << c.name << ": the same file";
        EXPECT_EQ(folder.names().find(".cardtab-"), std::string::npos) << c.name;
    }
    testing::note_not_run(not_run);
}

TEST(Run, WritesToTheDescriptorALinkNames)
{
    ScratchFolder folder;
    put_inputs(folder);
    if (!testing::make_symlink("/dev/stdout", folder / "import.csv") || !fs::exists("/dev/stdout")) {
        GTEST_SKIP() << "this system has no /dev/stdout to link to";
    }
    const testing::ProgramRun run =
        testing::run_cardtab(folder.path(), {.arguments = {}, .output_before = "earlier output\n"});
    EXPECT_EQ(run.exit_status, 0) << run.error_output;
    EXPECT_EQ(escaped(run.output), escaped("earlier output\n" + kTable));
    EXPECT_TRUE(fs::is_symlink(folder / "import.csv"));
}

TEST(Run, NamesTheLinkAndTheFileItLeadsTo)
{
    ScratchFolder folder;
    put_inputs(folder);
    const std::string nowhere = "missing/out.csv"; // in a folder that is not there
    if (!testing::make_symlink(nowhere, folder / "import.csv")) {
        GTEST_SKIP() << "no symbolic link can be made here";
    }
    const testing::ProgramRun run = testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.error_output, "cardtab: cannot create table file 'import.csv' (a link to '" + nowhere +
                                    "'): No such file or directory\n");
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

// A whole conversion by the real program: cardtab.ini and import.vcf in,
// the exact bytes of import.csv out.
struct ConversionCase {
    std::string name;
    std::string configuration;
    std::string cards;
    std::string table;
    bool decode = false; // run with --decode
};

std::string card(const std::string& lines)
{
    return "BEGIN:VCARD\n" + lines + "END:VCARD\n";
}

const std::string kSets = "G=X-G\nC=X-C\nZ=X-Z\nJ=X-J\nW=X-W\n*.csv";
const std::string kNames = "X-G:\xCE\xA0\xCE\xB1\xCF\x80\xCE\xB1\nX-C:\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\nX-Z:Dvo\xC5\x99\xC3\xA1kov\xC3\xA1\nX-J:\xE5\xB1\xB1\xE7\x94\xB0\nX-W:Dvo\xF8\xE1k\n";

std::vector<ConversionCase> conversion_cases()
{
    const std::string long_value(150, 'v');
    const std::string note_piece = "NOTE:" + std::string(1994, 'x');
    return {
        {"the road of one card", "Name=N:\n#Phone=TEL\n", card("N:Nov\xC3\xA1k;Jan;;;\nTEL;TYPE=CELL:+420 123 456\n"),
         "Name,#Phone\r\n\"Novak Jan\",\"+420123456\"\r\n"},
        {"empty address components", "Address=ADR\n", card("ADR;TYPE=HOME:;;Main St 1;;Prague;;\n"),
         "Address\r\n\"  Main St 1  Prague\"\r\n"},
        {"a loose tag is overwritten by a later line", "Name=N\n", card("N:Doe;John\nNOTE:call back\n"),
         "Name\r\n\"call back\"\r\n"},
        {"colon searched from the second byte", ":\n", card(":a:b\n"), ":\r\n\"b\"\r\n"},
        {"line without colon", "Phone=TEL\n", card("TEL\n"), "Phone\r\n\"\"\r\n"},
        {"value cut to 100 bytes", "Note=NOTE\n", card("NOTE:" + long_value + "\n"),
         "Note\r\n\"" + long_value.substr(0, 100) + "\"\r\n"},
        {"cut before trimming", "Note=NOTE\n", card("NOTE:" + std::string(99, 'n') + "  tail\n"),
         "Note\r\n\"" + std::string(99, 'n') + "\"\r\n"},
        {"required column emptied by semicolons", "N*Name=N:\nMail=EMAIL\n", card("N:;;;\nEMAIL:a@b\n"),
         "Name,Mail\r\n"},
        {"two END lines, and one without BEGIN", "Name=N:\n", card("N:Doe\nEND:X\n") + "END:VCARD\n",
         "Name\r\n\"Doe\"\r\n\"Doe\"\r\n\"Doe\"\r\n"},
        {"card bounds are case-sensitive and at the start", "Name=N:\n",
         card("N:Doe\n") + "begin:vcard\n END:VCARD\nEND:VCARD\n", "Name\r\n\"Doe\"\r\n\"Doe\"\r\n"},
        {"a tag END", "End=END\n", card(""), "End\r\n\"VCARD\"\r\n"},
        {"a tag BEGIN", "Begin=BEGIN\n", card("") + card(""), "Begin\r\n\"VCARD\"\r\n\"VCARD\"\r\n"},
        {"byte-order mark", "Name=N:\n", "\xEF\xBB\xBF" + card("N:Doe\n"), "Name\r\n\"Doe\"\r\n"},
        {"zero byte ends the line", "Name=N:\n",
         "BEGIN:VCARD\n" + std::string("N:Doe\0junk\n", 11) + "END:VCARD\n", "Name\r\n\"Doe\"\r\n"},
        {"required constant column", "Ident*Kind=TEL\nName=N:\n", card("N:NoPhone\n") + card("N:Doe\nTEL:1\n"),
         "Kind,Name\r\n\"TEL\",\"Doe\"\r\n"},
        {"constant value survives a card without BEGIN", "Ident*Kind=TEL\n",
         card("TEL:1\n") + "N:x\nEND:VCARD\n", "Kind\r\n\"TEL\"\r\n\"TEL\"\r\n"},
        {"nested card", "Name=N:\nMail=EMAIL\n",
         "BEGIN:VCARD\nEMAIL:outer@x\n" + card("N:Inner\n") + "N:Outer\nEND:VCARD\n",
         "Name,Mail\r\n\"Inner\",\"\"\r\n\"Outer\",\"\"\r\n"},
        {"a tag in UTF-8 does not match the folded line", "X=\xC3\x81\n", card("\xC3\x81:a\n"),
         "X\r\n\"\"\r\n"},
        {"a tag in Windows-1250 does", "X=\xC1\n", card("\xC3\x81:a\n"), "X\r\n\"a\"\r\n"},
        {"a 1,999-byte piece cut before a tag", "Phone=TEL\n", card(note_piece + "TEL:999\n"),
         "Phone\r\n\"999\"\r\n"},
        {"CR LF and 0x1A", "Name=N:\n", "BEGIN:VCARD\r\nN:Doe\r\nEND:VCARD\r\n\x1A" + card("N:Ghost\n"),
         "Name\r\n\"Doe\"\r\n"},
        {"no configuration", "", card("N:x\n") + card(""), "\r\n\r\n\r\n"},
        {"a stray lead byte keeps what follows", "Name=N:\n", card("N:\xC4pfel;x\n"),
         "Name\r\n\"\xC4pfel x\"\r\n"},
        {"one line feeds several columns", "A=TEL\nB=TEL;CELL\nC=TEL;WORK\n", card("TEL;CELL:1\n"),
         "A,B,C\r\n\"1\",\"1\",\"\"\r\n"},
        {"escapes are not decoded", "Note=NOTE\n", card("NOTE:a\\;b\\nc\n"), "Note\r\n\"a\\ b\\nc\"\r\n"},
        {"continuation lines are lines", "Note=NOTE\n", card("NOTE:first\n second\n"),
         "Note\r\n\"first\"\r\n"},
        {"an empty tag matches an empty line", "=\nName=N:\n", card("N:x\n\n"), ",Name\r\n\"\",\"x\"\r\n"},
        {"quotes in a value are doubled", "Name=N:\n", card("N:\"Bob\" Smith\n"),
         "Name\r\n\"\"\"Bob\"\" Smith\"\r\n"},
        {"CR CR LF line ends leave no CR in a value", "Name=N:\n#Phone=TEL\n",
         "BEGIN:VCARD\r\r\nN:Doe;John;;;\r\r\nTEL;CELL:905-111-1234\r\r\nEND:VCARD\r\r\n",
         "Name,#Phone\r\n\"Doe John\",\"905-111-1234\"\r\n"},
        {"a CR inside a value stays", "Note=NOTE\n", card("NOTE:a\rb \r \r\n"), "Note\r\n\"a\rb\"\r\n"},
        {"a value of spaces and CRs is empty, and a required one skips the card", "Name=N:\n#Phone=TEL\n",
         card("N:Doe\nTEL: \r \r\n") + card("N:Roe\nTEL:1\n"), "Name,#Phone\r\n\"Roe\",\"1\"\r\n"},
    };
}

// Card files shaped like real exports, read as vCard.
std::vector<ConversionCase> decoding_cases()
{
    const std::string android =
        "BEGIN:VCARD\r\nVERSION:2.1\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=4E=6F=76=C3=A1=6B;=4A=61=6E;;;\r\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=4A=61=6E=20=4E=6F=76=C3=A1=6B\r\n"
        "TEL;CELL:+420 777 123 456\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:2.1\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C5=A0=C5=A5astn=C3=BD;=C4=BDubom=C3=AD=\r\nr;;;\r\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C4=BDubom=C3=ADr =C5=A0=C5=A5astn=C3=BD\r\n"
        "TEL;CELL:+421 905 111 222\r\n"
        "NOTE;ENCODING=QUOTED-PRINTABLE:Prv=C3=BD =\r\nriadok=0D=0Adruh=C3=BD \\; nie\r\nEND:VCARD\r\n";
    const std::string outlook = "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                                "N;LANGUAGE=cs;CHARSET=windows-1250:Dvo\xF8\xE1k;Ji\xF8\xED\r\n"
                                "ORG;CHARSET=windows-1250:\x8Akoda Auto a.s.;N\xE1kup\r\n"
                                "EMAIL;PREF;INTERNET:jiri.dvorak@example.cz\r\nEND:VCARD\r\n";
    const std::string google = "BEGIN:VCARD\nVERSION:3.0\nN:Kov\xC3\xA1\xC4\x8Dov\xC3\xA1;Zuzana;;;\n"
                               "ADR;TYPE=HOME:;;Hlavn\xC3\xA1 12\\, byt 3;\xC5\xBDilina;;010 01;Slovensk\n o\n"
                               "ORG:Foo\\, s.r.o.\nEND:VCARD\n";
    const std::string iphone = "BEGIN:VCARD\r\r\nVERSION:3.0\r\r\nN:Doe;John;;;\r\r\n"
                               "item1.TEL;type=pref:905-111-1234\r\r\n"
                               "NOTE:a long note that is\r\r\n  folded here\r\r\nEND:VCARD\r\r\n";
    std::string photo = "BEGIN:VCARD\nVERSION:3.0\nN:Doe;Jan;;;\nPHOTO;ENCODING=b;TYPE=JPEG:" + std::string(70, 'A');
    for (int n = 0; n < 3000; ++n) {
        photo += "\n " + std::string(75, 'B');
    }
    photo += "\nTEL:123\nEND:VCARD\n";
    const std::string long_prefix = "X" + std::string(4100, ';') + ":value\n";
    // One cardtab.ini for every export: tags that name vCard properties.
    const std::string properties = "Family=N:1\nGiven=N:2\n#Mobile=TEL;CELL\nPhone=TEL\nPhone 2=TEL[2]\nMail=EMAIL\n"
                                   "Mail 2=EMAIL[2]\nStreet=ADR:3\nCity=ADR;HOME:4\nZip=ADR:6\nCompany=ORG:1\n";
    const std::string header = "Family,Given,#Mobile,Phone,Phone 2,Mail,Mail 2,Street,City,Zip,Company\r\n";
    const std::string apple = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Nov\xC3\xA1kov\xC3\xA1;Jana;;;\r\n"
                              "ORG:Apple Caf\xC3\xA9;Design\r\n"
                              "item1.EMAIL;type=INTERNET;type=pref:jana@example.cz\r\n"
                              "item2.EMAIL;type=INTERNET:jana.novakova@work.example\r\n"
                              "TEL;type=HOME;type=VOICE:+420 222 111 000\r\n"
                              "TEL;type=CELL;type=VOICE;type=pref:+420 777 123 456\r\n"
                              "TEL;type=PAGER:+420 999 000 111\r\n"
                              "item3.ADR;type=HOME;type=pref:;;Vinohradsk\xC3\xA1 12\\, byt 3;Praha;;120 00;CZ\r\n"
                              "item3.X-ABADR:cz\r\nEND:VCARD\r\n";
    const std::string android_21 =
        "BEGIN:VCARD\r\nVERSION:2.1\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C5=A0=C5=A5astn=C3=BD;Ji=C5=99=C3=AD;;;\r\n"
        "TEL;HOME;VOICE:+420 211 000 111\r\nTEL;CELL;PREF:+420 603 111 222\r\nEMAIL;HOME:jiri@example.cz\r\n"
        "ADR;HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;;N=C3=A1m=C4=9Bst=C3=AD M=C3=ADru 1;Br=\r\nno;;602 00;=\r\n"
        "=C4=8Cesko\r\nORG:Firma s.r.o.\r\nEND:VCARD\r\n";
    const std::string version_40 =
        "begin:vcard\nversion:4.0\nn:Horv\xC3\xA1th;P\xC3\xA9ter;;;\n"
        "tel;type=\"cell,voice\";pref=1;value=uri:tel:+36-30-123-4567\n"
        "tel;type=work;value=uri:tel:+36-1-234-5678\nemail;type=work:peter@example.hu\n"
        "adr;type=home;label=\"F\xC5\x91 utca 1.: 1011; Budapest\";geo=\"geo:47.49,19.04\":;;F\xC5\x91 utca 1.;"
        "Budapest;;1011;Hungary\norg:P\xC3\xA9lda Kft.;IT\nend:vcard\n";
    return {
        {"an Apple export: grouped lines, the preferred mobile first, an escaped comma", properties, apple,
         header + "\"Novakova\",\"Jana\",\"+420777123456\",\"+420 777 123 456\",\"+420 222 111 000\","
                  "\"jana@example.cz\",\"jana.novakova@work.example\",\"Vinohradska 12, byt 3\",\"Praha\","
                  "\"120 00\",\"Apple Cafe\"\r\n",
         true},
        {"an Android 2.1 export: bare types, quoted-printable components across a soft break", properties,
         android_21,
         header + "\"Stastny\",\"Jiri\",\"+420603111222\",\"+420 603 111 222\",\"+420 211 000 111\","
                  "\"jiri@example.cz\",\"\",\"Namesti Miru 1\",\"Brno\",\"602 00\",\"Firma s.r.o.\"\r\n",
         true},
        {"a vCard 4.0 export in lower case: quoted types, PREF=1, tel: URIs, ':' and ';' in quotes", properties,
         version_40,
         header + "\"Horvath\",\"Peter\",\"+36-30-123-4567\",\"+36-30-123-4567\",\"+36-1-234-5678\","
                  "\"peter@example.hu\",\"\",\"Fo utca 1.\",\"Budapest\",\"1011\",\"Pelda Kft.\"\r\n",
         true},
        {"the n-th line, a group, a component past the last, a line with no colon", "A=TEL[3]\nB=x.TEL\nC=N:9\nD=NOTE\n",
         card("TEL:1\nx.TEL:2\nTEL;PREF:3\nNOTE\nN:a;b\n"), "A,B,C,D\r\n\"2\",\"2\",\"\",\"\"\r\n", true},
        {"a byte order mark begins a line: a second file's card stays its own", "Name=N\n",
         card("N:a\n") + "\xEF\xBB\xBF" + card("N:b\n") + "\xEF\xBB\xBF x\n", "Name\r\n\"a\"\r\n\"b\"\r\n", true},
        {"an Android export: names in quoted-printable with soft breaks", "N*Name=N;\nFull name=FN;\n"
         "#Phone=TEL;CELL\nNote=NOTE\n;", android,
         "Name;Full name;#Phone;Note\r\n\"Novak Jan\";\"Jan Novak\";\"+420777123456\";\"\"\r\n"
         "\"Stastny \xBCubomir\";\"\xBCubomir Stastny\";\"+421905111222\";\"Prvy riadok druhy ; nie\"\r\n", true},
        {"an Outlook export in Windows-1250", "Name=N;\nCompany=ORG\nMail=EMAIL\n", outlook,
         "Name,Company,Mail\r\n\"Dvorak Jiri\",\"Skoda Auto a.s. Nakup\",\"jiri.dvorak@example.cz\"\r\n", true},
        {"a Google export: a folded address, escaped commas", "Name=N:\nAddress=ADR\nCompany=ORG\n", google,
         "Name,Address,Company\r\n\"Kovacova Zuzana\",\"  Hlavna 12, byt 3 Zilina  010 01 Slovensko\",\"Foo, s.r.o.\"\r\n",
         true},
        {"an iPhone export with CR CR LF", "Name=N:\n#Phone=item1.TEL\nNote=NOTE\n", iphone,
         "Name,#Phone,Note\r\n\"Doe John\",\"905-111-1234\",\"a long note that is folded here\"\r\n", true},
        {"a vCard 4.0 note with line breaks", "Note=NOTE\n",
         card("VERSION:4.0\nNOTE:first line\\nsecond line\\, with comma\n"),
         "Note\r\n\"first line second line, with comma\"\r\n", true},
        {"a photo folded over thousands of lines", "N*Name=N:\n#Phone=TEL\n", photo,
         "Name,#Phone\r\n\"Doe Jan\",\"123\"\r\n", true},
        {"decode after the card file's name", "import.vcf decode\nName=N;\n",
         card("N;ENCODING=QUOTED-PRINTABLE:=C5=A0\n"), "Name\r\n\"S\"\r\n"},
        {"broken quoted-printable stays as it is", "Name=N;\n", card("N;ENCODING=QUOTED-PRINTABLE:=4;=G1\n"),
         "Name\r\n\"=4 =G1\"\r\n", true},
        {"a '=' at the end of quoted-printable joins no card bound: the '=' stays", "Name=N\n",
         card("N;QUOTED-PRINTABLE:a =\n") + "BEGIN:vcard\nN;QUOTED-PRINTABLE:b=\nend:VCARD\n",
         "Name\r\n\"a =\"\r\n\"b=\"\r\n", true},
        {"a soft break on the file's last line", "Name=N:\nNote=NOTE\n",
         card("N:x\n") + "NOTE;QUOTED-PRINTABLE:abc=", "Name,Note\r\n\"x\",\"\"\r\n", true},
        {"a file whose first line begins with a space", "Name=N:\n", " BEGIN:VCARD\nN:x\nEND:VCARD\n",
         "Name\r\n\"x\"\r\n", true},
        {"an unknown charset: UTF-8 or else Windows-1250", "Name=N;\n",
         card("N;CHARSET=x-mac-ce:Dvo\xF8\xE1k\n"), "Name\r\n\"Dvorak\"\r\n", true},
        {"bytes that are not UTF-8 under CHARSET=UTF-8", "Name=N;\n", card("N;CHARSET=UTF-8:Dvo\xF8\xE1k\n"),
         "Name\r\n\"Dvo??k\"\r\n", true},
        {"a prefix longer than what is kept gives no value", "X=X\n#Phone=TEL\n", card(long_prefix + "TEL:1\n"),
         "X,#Phone\r\n\"\",\"1\"\r\n", true},
        // Greek, Cyrillic, Czech, Japanese and a Windows-1250 name in each set.
        // The default set keeps the rules' bytes: a UTF-8 byte that is an
        // accented letter of Windows-1250 (0xCF) loses its accent.
        {"names in the default set", kSets + "\n", card(kNames),
         "G,C,Z,J,W\r\n\"\xCE\xA0\xCE\xB1" "D\x80\xCE\xB1\",\"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\",\"Dvorakova\","
         "\"\xE5\xB1\xB1\xE7\x94\xB0\",\"Dvorak\"\r\n"},
        {"names with every letter of Windows-1250", kSets + " accents\n", card(kNames),
         "G,C,Z,J,W\r\n\"????\",\"????\",\"Dvo\xF8\xE1kov\xE1\",\"??\",\"Dvo\xF8\xE1k\"\r\n"},
        {"names in UTF-8", kSets + " utf8\n", card(kNames),
         "\xEF\xBB\xBFG,C,Z,J,W\r\n\"\xCE\xA0\xCE\xB1\xCF\x80\xCE\xB1\",\"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\","
         "\"Dvo\xC5\x99\xC3\xA1kov\xC3\xA1\",\"\xE5\xB1\xB1\xE7\x94\xB0\",\"Dvo\xC5\x99\xC3\xA1k\"\r\n"},
        {"names decoded in the default set", kSets + "\n", card(kNames),
         "G,C,Z,J,W\r\n\"????\",\"????\",\"Dvorakova\",\"??\",\"Dvorak\"\r\n", true},
        {"names decoded in UTF-8", kSets + " utf8\n", card(kNames),
         "\xEF\xBB\xBFG,C,Z,J,W\r\n\"\xCE\xA0\xCE\xB1\xCF\x80\xCE\xB1\",\"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\","
         "\"Dvo\xC5\x99\xC3\xA1kov\xC3\xA1\",\"\xE5\xB1\xB1\xE7\x94\xB0\",\"Dvo\xC5\x99\xC3\xA1k\"\r\n", true},
        {"a UTF-8 table's 100 bytes end at a whole letter", "*.csv utf8\nNote=NOTE\n",
         card("NOTE:" + std::string(99, 'y') + "\xC5\x99\n"), "\xEF\xBB\xBFNote\r\n\"" + std::string(99, 'y') + "\"\r\n"},
        {"'!' alone, in a list, with a type, under a key", "A=TEL;!CELL\nB=TEL;!CELL,FAX\nC=TEL;WORK;!FAX\nD=TEL;!TYPE=FAX[2]\n",
         card("TEL;CELL:1\nTEL;WORK;FAX:2\nTEL;WORK:3\nTEL;HOME:4\n"),
         "A,B,C,D\r\n\"2\",\"3\",\"3\",\"3\"\r\n", true},
        {"PREF=1 before TYPE=pref before PREF=5 before none", "A=TEL\nB=TEL[2]\nC=TEL[3]\nD=TEL[4]\nE=TEL;PREF[3]\n",
         card("TEL;PREF=5:five\nTEL:none\nTEL;TYPE=pref:typed\nTEL;PREF=\"01\":one\n"),
         "A,B,C,D,E\r\n\"typed\",\"one\",\"five\",\"none\",\"five\"\r\n", true},
        {"many parameters are looked up, not compared", "A=TEL;CELL\nB=TEL;!CELL\nC=TEL;TYPE=VOICE\nD=TEL;X-A=\"b\"\n",
         card("TEL;a;b;c;d;e;f;g;h;i;type=\"Voice,cell\":1\nTEL;a;b;c;d;e;f;g;h;i;x-a=B:2\n"),
         "A,B,C,D\r\n\"1\",\"2\",\"1\",\"2\"\r\n", true},
    };
}

void check_conversions(const std::vector<ConversionCase>& cases)
{
    for (const ConversionCase& c : cases) {
        ScratchFolder folder;
        if (!c.configuration.empty()) {
            folder.write("cardtab.ini", c.configuration);
        }
        folder.write("import.vcf", c.cards);
        testing::RunOptions options;
        if (c.decode) {
            options.arguments = {"--decode"};
        }
        const testing::ProgramRun run = testing::run_cardtab(folder.path(), options);
        EXPECT_EQ(run.exit_status, 0) << c.name;
        EXPECT_TRUE(testing::only_warnings(run.error_output)) << c.name << ": " << run.error_output;
        EXPECT_EQ(escaped(folder.read("import.csv")), escaped(c.table)) << c.name;
        EXPECT_EQ(folder.read("import.vcf"), c.cards) << c.name << ": the card file is never written";
        const auto configuration = c.configuration.empty() ? std::nullopt : std::optional(c.configuration);
        EXPECT_EQ(escaped(testing::model_conversion(configuration, c.cards, {c.decode, false, std::nullopt}).table), escaped(c.table))
            << c.name << ": the model of the conversion agrees";
    }
}

TEST(Conversion, WritesTheExactTable)
{
    check_conversions(conversion_cases());
}

TEST(Conversion, DecodesExportsFromPhonesAndMailPrograms)
{
    check_conversions(decoding_cases());
}

// Where standard output and the configuration lie, told by the file layer.
TEST(Run, WritesStandardOutputAndReadsTheConfigurationBesideTheProgram)
{
    using testing::MemoryFiles;
    const std::string out(MemoryFiles::kStandardOutputName);
    const std::string long_title(100, 'T');
    const struct {
        std::string name;
        std::map<std::string, std::string> before;
        RunOptions options;
        std::string standard_output; // a plain file it is open on, or none
        std::vector<std::string> messages;
        std::map<std::string, std::string> after;
    } cases[] = {
        {"- appends to a file standard output is open on",
         {{"a.vcf", kCards}, {"cardtab.ini", "Name=N:\n"}, {"log", "earlier\n"}},
         testing::naming("a.vcf", "-"), "log", {}, {{"log", "earlier\n" + kTable}}},
        {"- refused where standard output is the card file", {{"a.vcf", kCards}},
         testing::naming("a.vcf", "-"), "a.vcf",
         {"cardtab: refusing to write the table to standard output: it would overwrite the card file 'a.vcf'"}, {{"a.vcf", kCards}}},
        {"- refused where standard output is cardtab.ini", {{"a.vcf", kCards}, {"cardtab.ini", "Name=N:\n"}},
         testing::naming("a.vcf", "-"), "cardtab.ini",
         {"cardtab: refusing to write the table to standard output: it would overwrite the configuration file 'cardtab.ini'"},
         {{"cardtab.ini", "Name=N:\n"}}},
        {"cardtab.ini beside the program, named in full in messages",
         {{"import.vcf", kCards}, {"prog/cardtab.ini", long_title + "=N:\n"}}, {}, "",
         {"cardtab: warning: prog/cardtab.ini: line 1: title longer than 99 bytes; shortened to its first 99"},
         {{"import.csv", long_title.substr(1) + "\r\n\"Doe\"\r\n"}}},
        {"the current folder's cardtab.ini comes first",
         {{"import.vcf", kCards}, {"cardtab.ini", "Name=N:\n"}, {"prog/cardtab.ini", "Other=FN\n"}}, {}, "", {},
         {{"import.csv", kTable}}},
        {"a cardtab.ini beside the program may refuse the table",
         {{"import.vcf", kCards}, {"prog/cardtab.ini", "Name=N:\n"}},
         testing::naming("import.vcf", "-"),
         "prog/cardtab.ini",
         {"cardtab: refusing to write the table to standard output: it would overwrite the configuration file 'prog/cardtab.ini'"},
         {}},
        {"neither place has one", {{"import.vcf", kCards}}, {}, "",
         {"cardtab: warning: configuration file 'cardtab.ini' not found in the current folder or in 'prog/', so the "
          "table has no columns; run 'cardtab --tags' to see which tags the cards hold, or 'cardtab --decode' for "
          "the default columns"},
         {{"import.csv", "\r\n\r\n"}}},
    };
    for (const auto& c : cases) {
        MemoryFiles files;
        files.files.insert(c.before.begin(), c.before.end());
        files.program_folder_name = "prog/";
        if (!c.standard_output.empty()) {
            files.descriptor_files[kStandardOutput] = c.standard_output;
        }
        const RunResult result = run_conversion(files, c.options);
        EXPECT_EQ(result.messages, c.messages) << c.name;
        for (const auto& [name, bytes] : c.after) {
            EXPECT_EQ(escaped(files.files[name]), escaped(bytes)) << c.name << ": " << name;
        }
        EXPECT_EQ(files.files.count(out), 0u) << c.name << ": the table goes where standard output is open";
    }
}

} // namespace
} // namespace cardtab
