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
};

// Runs the cardtab executable with `folder` as its working directory.
ProgramRun run_cardtab(const std::filesystem::path& folder);

} // namespace cardtab::testing
