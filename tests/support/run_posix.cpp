#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/scratch.hpp"

namespace cardtab::testing {

namespace fs = std::filesystem;

namespace {

// In the child, before the program starts. The signals the program handles
// start with their default actions, as from a terminal, whatever the test
// runner inherited (a job started in the background of a script ignores
// SIGINT): the program must deal with them, the file-size limit included.
bool apply_options(const RunOptions& options)
{
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU, SIGUSR1, SIGALRM, SIGXFSZ}) {
        std::signal(signal_number, SIG_DFL);
    }
    // A signal that dumps core (SIGQUIT, SIGXCPU) leaves no core file in the
    // folder the test looks at.
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    if (options.file_mode_mask >= 0) {
        umask(static_cast<mode_t>(options.file_mode_mask));
    }
    if (options.file_size_bytes == 0) {
        return true;
    }
    const rlimit size{options.file_size_bytes, options.file_size_bytes};
    return setrlimit(RLIMIT_FSIZE, &size) == 0;
}

fs::path output_file_of(const fs::path& folder, const char* stream)
{
    return folder.parent_path() / (folder.filename().string() + stream);
}

bool redirect(const fs::path& file, int stream)
{
    const int descriptor = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    return descriptor >= 0 && dup2(descriptor, stream) >= 0 && close(descriptor) == 0;
}

pid_t start_cardtab(const fs::path& folder, const RunOptions& options)
{
    const std::string exe = built_path(CARDTAB_EXE).string();
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& argument : options.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (!redirect(output_file_of(folder, ".stdout"), STDOUT_FILENO) ||
            !redirect(output_file_of(folder, ".stderr"), STDERR_FILENO) || chdir(folder.c_str()) != 0 ||
            !apply_options(options)) {
            _exit(127);
        }
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    return child;
}

ProgramRun wait_for_cardtab(pid_t child, const fs::path& folder)
{
    ProgramRun run;
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.peak_memory_kib = usage.ru_maxrss;
    }
    for (auto [stream, text] : {std::pair{".stdout", &run.output}, std::pair{".stderr", &run.error_output}}) {
        *text = ScratchFolder::read_file(output_file_of(folder, stream));
        fs::remove(output_file_of(folder, stream));
    }
    return run;
}

bool holds_new_file(const fs::path& folder)
{
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("import.csv.")) {
            return true;
        }
    }
    return false;
}

} // namespace

// POSIX systems have no mandatory locks: any process may open the file.
FileLock::FileLock(const fs::path&) {}

FileLock::~FileLock() = default;

bool make_symlink(const fs::path& target, const fs::path& link)
{
    std::error_code error;
    fs::create_symlink(target, link, error);
    return !error;
}

bool can_limit_runs()
{
    return true;
}

ProgramRun run_cardtab(const fs::path& folder, const RunOptions& options)
{
    keep_case(folder);
    return wait_for_cardtab(start_cardtab(folder, options), folder);
}

bool can_interrupt_runs()
{
    return true;
}

InterruptedRun run_cardtab_interrupted(const fs::path& folder, int signal_number, std::string_view cards)
{
    const fs::path card_file = folder / "import.vcf";
    InterruptedRun interrupted;
    if (mkfifo(card_file.c_str(), 0600) != 0) {
        return interrupted;
    }
    const pid_t child = start_cardtab(folder, {});
    // Blocks until the program opens the card file.
    const int pipe = open(card_file.c_str(), O_WRONLY);
    if (pipe >= 0 && write(pipe, cards.data(), cards.size()) == static_cast<ssize_t>(cards.size())) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!holds_new_file(folder) && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        interrupted.new_file_seen = holds_new_file(folder);
    }
    kill(child, signal_number);
    if (pipe >= 0) {
        close(pipe);
    }
    interrupted.run = wait_for_cardtab(child, folder);
    return interrupted;
}

} // namespace cardtab::testing
