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

private:
    std::filesystem::path path_;
};

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

} // namespace cardtab::testing
