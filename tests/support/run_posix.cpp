#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <string>

#include "support/scratch.hpp"

namespace cardtab::testing {

namespace {

bool apply_limits(const RunLimits& limits)
{
    if (limits.file_size_bytes == 0) {
        return true;
    }
    const rlimit size{limits.file_size_bytes, limits.file_size_bytes};
    return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && setrlimit(RLIMIT_FSIZE, &size) == 0;
}

} // namespace

// POSIX systems have no mandatory locks: any process may open the file.
FileLock::FileLock(const std::filesystem::path&) {}

FileLock::~FileLock() = default;

bool can_limit_runs()
{
    return true;
}

ProgramRun run_cardtab(const std::filesystem::path& folder, const RunLimits& limits)
{
    keep_case(folder);
    const std::filesystem::path error_file = folder.parent_path() / (folder.filename().string() + ".stderr");
    const pid_t child = fork();
    if (child == 0) {
        const int error_fd = open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (error_fd < 0 || dup2(error_fd, STDERR_FILENO) < 0 || chdir(folder.c_str()) != 0 ||
            !apply_limits(limits)) {
            _exit(127);
        }
        const std::string exe = built_path(CARDTAB_EXE).string();
        execl(exe.c_str(), exe.c_str(), "ignored-argument", static_cast<char*>(nullptr));
        _exit(127);
    }
    ProgramRun run;
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.peak_memory_kib = usage.ru_maxrss;
    }
    run.error_output = ScratchFolder::read_file(error_file);
    std::filesystem::remove(error_file);
    return run;
}

} // namespace cardtab::testing
