#pragma once

#include <filesystem>
#include <string>
#include <string_view>

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
    std::filesystem::path operator/(std::string_view name) const { return path_ / std::string(name); }
    void write(std::string_view name, std::string_view bytes) const;
    std::string read(std::string_view name) const;
    bool exists(std::string_view name) const;
    static std::string read_file(const std::filesystem::path& path);

private:
    std::filesystem::path path_;
};

// A path fixed when the tests were built. A Windows build made on Linux and
// run under wine sees the Linux root as drive Z:.
std::filesystem::path built_path(const char* path);

// The message for a folder found where a file should be: Linux opens a
// folder for reading and fails the read, Windows refuses the open.
std::string folder_read_failure(std::string_view what, std::string_view name);
std::string folder_create_failure(std::string_view what, std::string_view name);

struct ProgramRun {
    int exit_status = -1;
    std::string error_output; // what the program wrote on standard error
    long peak_memory_kib = 0; // where the system tells it, else 0
};

struct RunLimits {
    // The largest file the program may write, with the signal for going
    // past it ignored, so that the write itself fails. 0: no limit.
    unsigned long file_size_bytes = 0;
};

// Runs the cardtab executable with `folder` as its working directory.
ProgramRun run_cardtab(const std::filesystem::path& folder, const RunLimits& limits = {});

// Whether run_cardtab can apply RunLimits on this system.
bool can_limit_runs();

// Holds a file open so that no other process may open it, as Windows
// does for a file that another program has locked. Elsewhere it does
// nothing, and `locks()` says so.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locks() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;
};

// When CARDTAB_KEEP_CASES names a folder, copies what `folder` holds there
// before the program runs, so that the same case can be run again by
// another build of the program.
void keep_case(const std::filesystem::path& folder);

} // namespace cardtab::testing
