#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "convert/run.hpp"
#include "io/interrupts.hpp"
#include "io/native_files.hpp"
#include "support/bytes.hpp"
#include "support/memory_files.hpp"
#include "support/scratch.hpp"

namespace cardtab {
namespace {

using testing::escaped;
using testing::FaultyFiles;
using testing::MemoryFiles;

const std::string kConfiguration = "people.vcf\nN*Name=N:\n#Phone=TEL\nMail=EMAIL\n";
const std::string kOldTable = "an older table";

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

// The ways a table takes the old one's place: moved over it, or copied
// into it (beside it, or by way of the folder for temporary files).
enum class Layout {
    plain,
    second_name,
    folder_refuses,
    no_room_reserved,
    two_card_files, // people.vcf and more.vcf into one table
    in_parts,       // the card file scanned in parts on two threads
};

MemoryFiles starting_files(const std::string& cards, Layout layout)
{
    MemoryFiles files;
    files.files["cardtab.ini"] = kConfiguration;
    files.files["people.vcf"] = cards;
    files.files["people.csv"] = kOldTable;
    if (layout == Layout::second_name || layout == Layout::no_room_reserved) {
        files.linked.insert("people.csv");
    }
    files.refuses_new_files = layout == Layout::folder_refuses;
    files.cannot_reserve = layout == Layout::no_room_reserved;
    if (layout == Layout::two_card_files) {
        files.files["more.vcf"] = cards;
    }
    return files;
}

RunOptions options_for(Layout layout)
{
    RunOptions options;
    if (layout == Layout::two_card_files) {
        options.cards = {"people.vcf", "more.vcf"};
    }
    if (layout == Layout::in_parts) {
        options.spread = {2, 4096};
    }
    return options;
}

constexpr std::string_view kMayBeIncomplete = "the table may now be incomplete";

// Fails call number `fail_at` of the file layer, and with `sticky` every
// call after it too, for every call a run makes, until a run makes fewer
// calls than that and succeeds.
void check_every_failing_call(bool sticky, Layout layout)
{
    const std::string cards = many_cards();
    MemoryFiles clean = starting_files(cards, layout);
    ASSERT_FALSE(run_conversion(clean, options_for(layout)).failed);
    const std::string expected_table = clean.files["people.csv"];
    const std::string names = clean.names();

    for (std::size_t fail_at = 1;; ++fail_at) {
        SCOPED_TRACE("call " + std::to_string(fail_at) + (sticky ? " and after" : ""));
        MemoryFiles memory = starting_files(cards, layout);
        FaultyFiles files(memory, fail_at, sticky);
        const RunResult result = run_conversion(files, options_for(layout));
        EXPECT_EQ(memory.open_count(), 0u) << "every file is closed";
        EXPECT_EQ(memory.files["cardtab.ini"], kConfiguration);
        EXPECT_EQ(memory.files["people.vcf"], cards);
        if (layout == Layout::two_card_files) {
            EXPECT_EQ(memory.files["more.vcf"], cards);
        }
        if (!files.injected()) {
            EXPECT_FALSE(result.failed);
            EXPECT_EQ(escaped(memory.files["people.csv"]), escaped(expected_table));
            EXPECT_EQ(memory.names(), names);
            EXPECT_GT(fail_at, 8u) << "a run makes at least opens, reads, writes, closes and a move";
            break;
        }
        ASSERT_TRUE(result.failed) << "a call failed but the run succeeded";
        ASSERT_EQ(result.messages.size(), 1u);
        const std::string& message = result.messages[0];
        EXPECT_EQ(message.rfind("cardtab: cannot ", 0), 0u) << message;
        EXPECT_NE(message.find("Injected failure"), std::string::npos) << message;
        // Only a write into the old table itself may leave it changed, and
        // then the message says so; a temporary copy that cannot be removed
        // is said after the table is whole.
        if (message.find("temporary copy") != std::string::npos) {
            EXPECT_EQ(escaped(memory.files["people.csv"]), escaped(expected_table));
        } else if (message.find(kMayBeIncomplete) == std::string::npos) {
            EXPECT_EQ(memory.files["people.csv"], kOldTable) << message;
        }
        // Once removing fails too, the new file has to stay behind.
        if (!sticky && message.find("temporary copy") == std::string::npos) {
            EXPECT_EQ(memory.names(), names) << "no new file is left behind";
        }
    }
}

TEST(FaultInjection, EveryFailedCallFailsTheRunAndKeepsTheOldTable)
{
    for (const Layout layout : {Layout::plain, Layout::second_name, Layout::folder_refuses, Layout::no_room_reserved,
                                Layout::two_card_files, Layout::in_parts}) {
        SCOPED_TRACE("layout " + std::to_string(static_cast<int>(layout)));
        check_every_failing_call(false, layout);
    }
}

TEST(FaultInjection, FailuresThatGoOnStillGiveOneMessageAndKeepTheOldTable)
{
    for (const Layout layout : {Layout::plain, Layout::second_name, Layout::folder_refuses, Layout::no_room_reserved,
                                Layout::two_card_files, Layout::in_parts}) {
        SCOPED_TRACE("layout " + std::to_string(static_cast<int>(layout)));
        check_every_failing_call(true, layout);
    }
}

// A table on standard output, a cardtab.ini beside the program and a
// listing of tags meet each failing call too: one message, no input
// written, every file closed.
TEST(FaultInjection, StandardOutputAndTheListingFailWithOneMessage)
{
    const std::string cards = many_cards();
    const RunOptions options = testing::naming("people.vcf", "-");
    for (const bool listing : {false, true}) {
        for (std::size_t fail_at = 1;; ++fail_at) {
            SCOPED_TRACE("call " + std::to_string(fail_at) + (listing ? " of a listing" : ""));
            MemoryFiles memory;
            memory.program_folder_name = "prog/";
            memory.files["prog/cardtab.ini"] = kConfiguration;
            memory.files["people.vcf"] = cards;
            FaultyFiles files(memory, fail_at);
            const RunResult result = listing ? list_tags(files, options).result : run_conversion(files, options);
            EXPECT_EQ(memory.open_count(), 0u) << "every file is closed";
            EXPECT_EQ(memory.files["prog/cardtab.ini"], kConfiguration);
            EXPECT_EQ(memory.files["people.vcf"], cards);
            if (!files.injected()) {
                EXPECT_FALSE(result.failed);
                EXPECT_EQ(memory.files.count(std::string(MemoryFiles::kStandardOutputName)), listing ? 0u : 1u);
                break;
            }
            ASSERT_TRUE(result.failed) << "a call failed but the run succeeded";
            ASSERT_EQ(result.messages.size(), 1u);
            EXPECT_EQ(result.messages[0].rfind("cardtab: cannot ", 0), 0u) << result.messages[0];
            EXPECT_NE(result.messages[0].find("Injected failure"), std::string::npos) << result.messages[0];
        }
    }
}

#ifndef _WIN32
// The exit of a child, waited for at most a minute; -1 where it did not end.
int wait_for_child(pid_t child)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return status;
}

// A signal from outside at each call of a real run, on real files: the run
// ends with the signal's status and the old table, or, once the table is
// being put in place, with its own status and the new table; never with the
// signal's status and a changed table.
TEST(FaultInjection, ASignalAtEachCallEndsWithTheTableItsStatusSays)
{
    constexpr int kFewerCalls = 100;
    const std::string cards = many_cards();
    MemoryFiles clean = starting_files(cards, Layout::plain);
    ASSERT_FALSE(run_conversion(clean).failed);
    const std::string expected_table = clean.files["people.csv"];
    for (const bool second_name : {false, true}) {
        std::size_t ended_by_signal = 0;
        std::size_t ended_whole = 0;
        for (std::size_t at = 1;; ++at) {
            SCOPED_TRACE("signal at call " + std::to_string(at) + (second_name ? ", a table with two names" : ""));
            testing::ScratchFolder folder;
            folder.write("cardtab.ini", kConfiguration);
            folder.write("people.vcf", cards);
            folder.write("people.csv", kOldTable);
            if (second_name) {
                std::filesystem::create_hard_link(folder / "people.csv", folder / "second.csv");
            }
            const pid_t child = fork();
            if (child == 0) {
                // The clean run above held interrupts back in this process.
                sigset_t none;
                sigemptyset(&none);
                if (chdir(folder.path().c_str()) != 0 || sigprocmask(SIG_SETMASK, &none, nullptr) != 0) {
                    _exit(126);
                }
                install_interrupt_cleanup();
                NativeFiles native;
                FaultyFiles files(native, at, false, SIGTERM);
                const RunResult result = run_conversion(files);
                _exit(files.injected() ? exit_status(result) : kFewerCalls);
            }
            const int status = wait_for_child(child);
            if (WIFEXITED(status) && WEXITSTATUS(status) == kFewerCalls) {
                break;
            }
            const std::string table = folder.read("people.csv");
            if (WIFSIGNALED(status)) {
                ++ended_by_signal;
                EXPECT_EQ(WTERMSIG(status), SIGTERM);
                EXPECT_EQ(table, kOldTable) << "the signal's status, but the table changed";
            } else {
                ++ended_whole;
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
                EXPECT_EQ(table.size(), expected_table.size());
                EXPECT_TRUE(table == expected_table) << "the run's status, but not its table";
            }
            EXPECT_EQ(folder.names().find(".cardtab-"), std::string::npos) << folder.names();
        }
        EXPECT_GT(ended_by_signal, 0u) << "a signal before the commit ends the run";
        EXPECT_GT(ended_whole, 0u) << "a signal from the commit on does not";
    }
}
#endif

} // namespace
} // namespace cardtab
