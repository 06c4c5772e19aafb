#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <poll.h>
#include <sys/xattr.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/scratch.hpp"

namespace cardtab::testing {

namespace fs = std::filesystem;

namespace {

// No wait of the tests lasts longer: a program that hangs fails its test
// instead of stopping the suite.
constexpr auto kRunDeadline = std::chrono::seconds(120);
constexpr auto kPipeDeadline = std::chrono::seconds(10);
constexpr uid_t kNobody = 65534;

// In the child, before the program starts. The signals the program handles
// start with their default actions, as from a terminal, whatever the test
// runner inherited (a job started in the background of a script ignores
// SIGINT): the program must deal with them, the file-size limit included.
bool apply_options(const RunOptions& options)
{
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU, SIGUSR1, SIGALRM, SIGXFSZ, SIGPIPE}) {
        std::signal(signal_number, SIG_DFL);
    }
    // A run of the library inside the tests may have held interrupts back
    // for good in this process; the program starts without that.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // A signal that dumps core (SIGQUIT, SIGXCPU) leaves no core file in the
    // folder the test looks at.
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    if (options.file_mode_mask >= 0) {
        umask(static_cast<mode_t>(options.file_mode_mask));
    }
    if (!options.temporary_folder.empty() && setenv("TMPDIR", options.temporary_folder.c_str(), 1) != 0) {
        return false;
    }
    if (options.unprivileged && geteuid() == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
            setresuid(kNobody, kNobody, kNobody) != 0) {
            return false;
        }
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

bool redirect(const fs::path& file, int stream, int flags = O_TRUNC)
{
    const int descriptor = open(file.c_str(), O_WRONLY | O_CREAT | flags, 0666);
    return descriptor >= 0 && dup2(descriptor, stream) >= 0 && close(descriptor) == 0;
}

// Written by the test before the program starts, so that the program
// appends to it.
bool fill(const fs::path& file, std::string_view bytes)
{
    const int descriptor = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const bool written = descriptor >= 0 && write(descriptor, bytes.data(), bytes.size()) ==
                                                static_cast<ssize_t>(bytes.size());
    return descriptor >= 0 && close(descriptor) == 0 && written;
}

// The program as a user without privileges can start it. The checkout may
// lie in a folder only its owner can enter (a clone under /root), so that
// user runs a copy in a folder of its own under the system's temporary
// folder, made once and removed when the tests end.
class ProgramForAnyone {
public:
    ProgramForAnyone()
    {
        std::error_code error;
        folder_ = fs::temp_directory_path(error) / ("cardtab-program-" + std::to_string(getpid()));
        fs::create_directories(folder_, error);
        const fs::path copy = folder_ / "cardtab";
        if (!error && fs::copy_file(built_path(CARDTAB_EXE), copy, fs::copy_options::overwrite_existing, error) &&
            chmod(folder_.c_str(), 0755) == 0 && chmod(copy.c_str(), 0755) == 0) {
            path_ = copy;
        }
    }
    ~ProgramForAnyone()
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    ProgramForAnyone(const ProgramForAnyone&) = delete;
    ProgramForAnyone& operator=(const ProgramForAnyone&) = delete;
    // Empty where the copy could not be made; the run then fails to start.
    const fs::path& path() const { return path_; }

private:
    fs::path folder_;
    fs::path path_;
};

fs::path program_for(const RunOptions& options)
{
    if (!options.program.empty()) {
        return options.program;
    }
    if (!options.unprivileged || geteuid() != 0) {
        return built_path(CARDTAB_EXE);
    }
    static const ProgramForAnyone copy;
    return copy.path();
}

// `shared_output`, where it is open, is the standard output the test holds
// too.
pid_t start_cardtab(const fs::path& folder, const RunOptions& options, int shared_output = -1)
{
    const std::string exe = program_for(options).string();
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& argument : options.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const bool appends = !options.output_before.empty();
    if (appends && !fill(output_file_of(folder, ".stdout"), options.output_before)) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        const bool output_ready = shared_output >= 0 ? dup2(shared_output, STDOUT_FILENO) >= 0
                                  : !options.output_file.empty()
                                      ? redirect(options.output_file, STDOUT_FILENO, O_APPEND)
                                      : redirect(output_file_of(folder, ".stdout"), STDOUT_FILENO,
                                                 appends ? O_APPEND : O_TRUNC);
        if (!output_ready ||
            !redirect(output_file_of(folder, ".stderr"), STDERR_FILENO) || chdir(folder.c_str()) != 0 ||
            !apply_options(options) || (options.output_closed && close(STDOUT_FILENO) != 0)) {
            _exit(127);
        }
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    return child;
}

bool deadline_passed(std::chrono::steady_clock::time_point deadline)
{
    if (std::chrono::steady_clock::now() >= deadline) {
        return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return false;
}

// A program still running at the deadline is killed, and the run says so.
ProgramRun wait_for_exit(pid_t child)
{
    ProgramRun run;
    int status = 0;
    rusage usage{};
    const auto deadline = std::chrono::steady_clock::now() + kRunDeadline;
    pid_t ended = 0;
    while (child > 0 && (ended = wait4(child, &status, WNOHANG, &usage)) == 0 && !deadline_passed(deadline)) {
    }
    if (child > 0 && ended == 0) {
        kill(child, SIGKILL);
        ended = wait4(child, &status, 0, &usage);
        run.error_output = "the program did not end within the tests' deadline\n";
    }
    if (ended == child && child > 0) {
        run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.peak_memory_kib = usage.ru_maxrss;
    }
    return run;
}

ProgramRun collect_output(ProgramRun run, const fs::path& folder)
{
    for (auto [stream, text] : {std::pair{".stdout", &run.output}, std::pair{".stderr", &run.error_output}}) {
        *text += ScratchFolder::read_file(output_file_of(folder, stream));
        fs::remove(output_file_of(folder, stream));
    }
    run.output_bytes = run.output;
    return run;
}

ProgramRun wait_for_cardtab(pid_t child, const fs::path& folder)
{
    return collect_output(wait_for_exit(child), folder);
}

bool holds_new_file(const fs::path& folder)
{
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ignored)) {
        if (entry.path().filename().string().find(".cardtab-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

namespace {

constexpr std::string_view kAttributeName = "user.cardtab-test";
constexpr std::string_view kAttributeValue = "kept";
constexpr const char* kAclName = "system.posix_acl_access";

// An access-control list as Linux stores it: a version, then entries of a
// tag, permissions and an id. It gives the user nobody read and write.
std::string acl_bytes()
{
    constexpr std::uint32_t kVersion = 2;
    constexpr std::uint32_t kNoId = 0xFFFFFFFF;
    const struct {
        std::uint16_t tag;
        std::uint16_t permissions;
        std::uint32_t id;
    } entries[] = {{0x01, 6, kNoId}, {0x02, 6, 65534}, {0x04, 4, kNoId}, {0x10, 6, kNoId}, {0x20, 4, kNoId}};
    std::string bytes(reinterpret_cast<const char*>(&kVersion), sizeof kVersion);
    for (const auto& entry : entries) {
        bytes.append(reinterpret_cast<const char*>(&entry.tag), sizeof entry.tag);
        bytes.append(reinterpret_cast<const char*>(&entry.permissions), sizeof entry.permissions);
        bytes.append(reinterpret_cast<const char*>(&entry.id), sizeof entry.id);
    }
    return bytes;
}

std::string set_attribute(const fs::path& file, const char* name, std::string_view value)
{
    if (setxattr(file.c_str(), name, value.data(), value.size(), 0) == 0) {
        return {};
    }
    return errno == ENOTSUP ? "its file system has none" : std::strerror(errno);
}

std::string attribute(const fs::path& file, const char* name)
{
    std::array<char, 256> value{};
    const ssize_t length = getxattr(file.c_str(), name, value.data(), value.size());
    return length < 0 ? std::string() : std::string(value.data(), static_cast<std::size_t>(length));
}

} // namespace

std::string give_attribute(const ScratchFolder& folder)
{
    return set_attribute(folder / "import.csv", std::string(kAttributeName).c_str(), kAttributeValue);
}

bool has_attribute(const ScratchFolder& folder)
{
    return attribute(folder / "import.csv", std::string(kAttributeName).c_str()) == kAttributeValue;
}

std::string give_acl(const ScratchFolder& folder)
{
    return set_attribute(folder / "import.csv", kAclName, acl_bytes());
}

bool has_acl(const ScratchFolder& folder)
{
    return attribute(folder / "import.csv", kAclName) == acl_bytes();
}

std::pair<std::uint64_t, std::uint64_t> file_id(const fs::path& path)
{
    struct stat info{};
    stat(path.c_str(), &info);
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// The child tells through a pipe that it holds the lock.
FileLock::FileLock(const fs::path& path, std::chrono::milliseconds hold)
{
    std::array<int, 2> ready{};
    if (pipe(ready.data()) != 0) {
        return;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        const int file = open(path.c_str(), O_RDONLY);
        if (file < 0 || flock(file, LOCK_EX) != 0 || write(ready[1], "L", 1) != 1) {
            _exit(1);
        }
        std::this_thread::sleep_for(hold);
        _exit(0);
    }
    close(ready[1]);
    char byte = 0;
    pollfd readable{ready[0], POLLIN, 0};
    locks_ = child > 0 && poll(&readable, 1, 10000) == 1 && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    holder_ = child;
}

FileLock::~FileLock()
{
    if (holder_ > 0) {
        const auto child = static_cast<pid_t>(holder_);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
}

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
    if (options.signal_number != 0) {
        const pid_t child = start_cardtab(folder, options);
        std::this_thread::sleep_for(options.signal_after);
        kill(child, options.signal_number);
        return wait_for_cardtab(child, folder);
    }
    if (options.output_after.empty()) {
        return wait_for_cardtab(start_cardtab(folder, options), folder);
    }
    const int output = open(output_file_of(folder, ".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ProgramRun run = wait_for_exit(start_cardtab(folder, options, output));
    const bool written = write(output, options.output_after.data(), options.output_after.size()) ==
                         static_cast<ssize_t>(options.output_after.size());
    close(output);
    run = collect_output(run, folder);
    if (!written) {
        run.error_output += "the shell's own output could not be written\n";
    }
    return run;
}

bool can_interrupt_runs()
{
    return true;
}

std::vector<ProgramRun> run_cardtabs_at_once(const std::vector<fs::path>& folders, const RunOptions& options)
{
    // Not kept for another build to run: each folder leads into a shared one.
    std::vector<pid_t> children;
    for (const fs::path& folder : folders) {
        children.push_back(start_cardtab(folder, options));
    }
    std::vector<ProgramRun> runs;
    for (std::size_t n = 0; n < folders.size(); ++n) {
        runs.push_back(wait_for_cardtab(children[n], folders[n]));
    }
    return runs;
}

namespace {

// Without reaping it: the run's own wait does that.
bool has_ended(pid_t child)
{
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0;
}

// Opens the pipe the program reads its cards from, once it has opened it
// too; -1 when the program ends first or the deadline passes. The pipe
// stays non-blocking, so that a program that stops reading cannot hold the
// test either.
int open_card_pipe(const fs::path& card_file, pid_t child)
{
    const auto deadline = std::chrono::steady_clock::now() + kPipeDeadline;
    for (;;) {
        const int pipe = open(card_file.c_str(), O_WRONLY | O_NONBLOCK);
        if (pipe >= 0 || errno != ENXIO || child <= 0 || has_ended(child) || deadline_passed(deadline)) {
            return pipe;
        }
    }
}

bool write_before_deadline(int pipe, std::string_view bytes)
{
    const auto deadline = std::chrono::steady_clock::now() + kPipeDeadline;
    while (!bytes.empty()) {
        const ssize_t written = write(pipe, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        pollfd ready{pipe, POLLOUT, 0};
        if ((written < 0 && errno != EAGAIN) || std::chrono::steady_clock::now() >= deadline ||
            poll(&ready, 1, 10) < 0) {
            return false;
        }
    }
    return true;
}

} // namespace

InterruptedRun run_cardtab_interrupted(const fs::path& folder, int signal_number, std::string_view cards,
                                       const RunOptions& options)
{
    const fs::path card_file = folder / "import.vcf";
    InterruptedRun interrupted;
    if (mkfifo(card_file.c_str(), 0600) != 0 || chmod(card_file.c_str(), 0666) != 0) {
        return interrupted;
    }
    // A program that ends before it has read all must not end the tests.
    std::signal(SIGPIPE, SIG_IGN);
    const pid_t child = start_cardtab(folder, options);
    const int pipe = open_card_pipe(card_file, child);
    if (pipe >= 0 && write_before_deadline(pipe, cards)) {
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
