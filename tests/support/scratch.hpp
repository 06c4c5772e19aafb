#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cardtab::testing {

// A new empty folder under the system's temporary folder, removed with
// everything in it when the test ends.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Names are UTF-8 on every platform.
    std::filesystem::path operator/(std::string_view name) const;
    void write(std::string_view name, std::string_view bytes) const;
    std::string read(std::string_view name) const;
    bool exists(std::string_view name) const;
    // The names of everything in the folder, sorted, each followed by a space.
    std::string names() const;
    static std::string read_file(const std::filesystem::path& path);

private:
    std::filesystem::path path_;
};

// A path fixed when the tests were built. A Windows build made on Linux and
// run under wine sees the Linux root as drive Z:.
std::filesystem::path built_path(const char* path);

// The folder that holds the program under test, as its messages name it,
// and the warning of a run that finds no cardtab.ini there or in the
// current folder: "...', so the table <consequence>\n".
std::string program_folder_in_messages();
std::string no_configuration_warning(std::string_view consequence);

// The message for a folder found where a file should be: Linux opens a
// folder for reading and fails the read, Windows refuses the open.
std::string folder_read_failure(std::string_view what, std::string_view name);
std::string folder_create_failure(std::string_view what, std::string_view name);

// True when every line the program wrote on standard error is a warning.
bool only_warnings(std::string_view error_output);

struct ProgramRun {
    int exit_status = -1;
    std::string output;       // what the program wrote on standard output, its lines ended in LF
    std::string output_bytes; // the same, byte for byte
    std::string error_output; // what the program wrote on standard error
    long peak_memory_kib = 0; // where the system tells it, else 0
};

struct RunOptions {
    // The arguments after the program's name.
    std::vector<std::string> arguments = {};
    // The largest file the program may write (RLIMIT_FSIZE). 0: no limit.
    unsigned long file_size_bytes = 0;
    // The umask the program starts with. -1: the test's own.
    int file_mode_mask = -1;
    // Run as a user without privileges (nobody), also where the tests run
    // as root, so that permissions bind.
    bool unprivileged = false;
    // The system's folder for temporary files, for the program (TMPDIR).
    std::string temporary_folder = {};
    // Standard output already holds this, and the program appends to it,
    // as `cardtab >> run.log` would.
    std::string output_before = {};
    // Another copy of the program to run; empty: the one built.
    std::filesystem::path program = {};
    // Start it with standard output closed (cardtab >&-).
    bool output_closed = false;
    // After the run, the shell writes this through the same standard output,
    // where its offset then stands: (cardtab; echo done) > log.
    std::string output_after = {};
    // Standard output appends to this file instead of the run's own.
    std::filesystem::path output_file = {};
    // A signal sent to the program this long after it starts, if it runs
    // still: 0, none. Only where can_interrupt_runs().
    int signal_number = 0;
    std::chrono::milliseconds signal_after{0};
};

// Runs the cardtab executable with `folder` as its working directory.
ProgramRun run_cardtab(const std::filesystem::path& folder, const RunOptions& options = {});

// Whether run_cardtab can apply RunOptions on this system.
bool can_limit_runs();

// Runs the program in each folder, all at the same time.
std::vector<ProgramRun> run_cardtabs_at_once(const std::vector<std::filesystem::path>& folders,
                                             const RunOptions& options = {});

struct InterruptedRun {
    ProgramRun run;
    bool new_file_seen = false; // the signal came while the new table was being written
};

// Runs the program on a card file "import.vcf" that is a pipe: writes
// `cards` into it, waits until a new file (".cardtab-") appears anywhere in
// the folder, sends the signal, and only then ends the card file. Needs
// can_interrupt_runs().
InterruptedRun run_cardtab_interrupted(const std::filesystem::path& folder, int signal_number,
                                       std::string_view cards, const RunOptions& options = {});
bool can_interrupt_runs();

// Makes `link` a symbolic link to `target`. False where this system, or
// this user, cannot make one (wine, or Windows without the right to).
bool make_symlink(const std::filesystem::path& target, const std::filesystem::path& link);

// Another program holding a file for `hold`, or until this goes: on
// Windows open to itself alone, as a spreadsheet holds a table it shows;
// elsewhere a process of its own with an flock on it. `locks()` says
// whether it could.
class FileLock {
public:
    FileLock(const std::filesystem::path& path, std::chrono::milliseconds hold);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locks() const { return locks_; }

private:
    bool locks_ = false;
    std::intptr_t holder_ = -1; // the process or the handle that holds it
    std::thread releaser_;
};

// What a file carries besides its bytes, given to "import.csv" in the
// folder: each returns why it cannot, where the system or its file system
// has no such thing, or nothing. The has_ functions tell whether it is
// still there.
std::string give_attribute(const ScratchFolder& folder);
bool has_attribute(const ScratchFolder& folder);
std::string give_acl(const ScratchFolder& folder);
bool has_acl(const ScratchFolder& folder);

// Which file a name leads to (device and inode, or volume and index).
std::pair<std::uint64_t, std::uint64_t> file_id(const std::filesystem::path& path);

// Says, in the test's output, which rows of a table of cases this system
// cannot run; the rows that it can run still count.
void note_not_run(std::string_view rows);

// When CARDTAB_KEEP_CASES names a folder, copies what `folder` holds there
// before the program runs, so that the same case can be run again by
// another build of the program.
void keep_case(const std::filesystem::path& folder);

} // namespace cardtab::testing
