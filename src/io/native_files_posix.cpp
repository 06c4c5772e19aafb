#include "io/native_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

namespace cardtab {

namespace {

// A signal handler can reach nothing but static storage, so the name of the
// new file waiting to replace the table lives here, in a buffer that exists
// before the file does. `pending` is set only while the file exists under
// that name; signals are held back while it changes.
constexpr std::size_t kMaxPendingName = 4096;
std::array<char, kMaxPendingName> pending_name{};
volatile std::sig_atomic_t pending = 0;

constexpr std::array kCleanupSignals = {SIGINT, SIGTERM, SIGHUP};

extern "C" void remove_pending_and_reraise(int signal_number)
{
    if (pending != 0) {
        unlink(pending_name.data());
    }
    // The handler was installed with SA_RESETHAND: the signal, held back
    // until this returns, then ends the process as it would have.
    raise(signal_number);
}

void install_cleanup_handlers()
{
    for (const int signal_number : kCleanupSignals) {
        struct sigaction current{};
        // A signal ignored by whoever started us (nohup, say) stays ignored.
        if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction cleanup{};
        cleanup.sa_handler = remove_pending_and_reraise;
        cleanup.sa_flags = static_cast<int>(SA_RESETHAND);
        sigemptyset(&cleanup.sa_mask);
        sigaction(signal_number, &cleanup, nullptr);
    }
    // Past the file-size limit a write then fails with EFBIG, and the run
    // reports it and keeps the old table, instead of being killed.
    std::signal(SIGXFSZ, SIG_IGN);
}

// Holds the cleanup signals back for as long as it lives, so that the
// pending name and the file it names change together.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal_number : kCleanupSignals) {
            sigaddset(&held, signal_number);
        }
        sigprocmask(SIG_BLOCK, &held, &saved_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t saved_{};
};

int descriptor_of(FileHandle file)
{
    return static_cast<int>(file.handle);
}

FileHandle file_of(int descriptor)
{
    return FileHandle{descriptor};
}

IoStatus system_failure(int error)
{
    IoStatus status = failed_with(std::strerror(error));
    status.missing = error == ENOENT;
    return status;
}

OpenResult open_descriptor(std::string_view name, int flags)
{
    const std::string zero_terminated(name);
    OpenResult result;
    const int descriptor = open(zero_terminated.c_str(), flags, 0666);
    if (descriptor < 0) {
        result.status = system_failure(errno);
        return result;
    }
    result.file = file_of(descriptor);
    return result;
}

std::string folder_of(std::string_view name)
{
    const std::size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(name.substr(0, slash + 1));
}

// Symbolic links are followed one at a time, rather than with realpath, so
// that a link to a table that does not exist yet still leads somewhere.
constexpr int kMaxLinksFollowed = 40;

std::string follow_links(std::string_view name)
{
    std::string current(name);
    for (int followed = 0; followed < kMaxLinksFollowed; ++followed) {
        struct stat info{};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            break;
        }
        std::array<char, kMaxPendingName> link{};
        const ssize_t length = readlink(current.c_str(), link.data(), link.size());
        if (length <= 0 || static_cast<std::size_t>(length) == link.size()) {
            break;
        }
        const std::string_view points_to(link.data(), static_cast<std::size_t>(length));
        current = points_to.starts_with('/') ? std::string(points_to) : folder_of(current).append(points_to);
    }
    return current;
}

mode_t new_file_mode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The new file takes over the old one's owner, group and permission bits,
// or a new file's usual bits when there is none. Where the system will not
// change them the table is still written: they are a courtesy, the data is
// the point.
void copy_permissions(int descriptor, std::string_view target)
{
    const std::string zero_terminated(target);
    struct stat old{};
    if (stat(zero_terminated.c_str(), &old) != 0) {
        fchmod(descriptor, new_file_mode());
        return;
    }
    if (fchown(descriptor, old.st_uid, old.st_gid) != 0) {
        [[maybe_unused]] const int ignored = fchown(descriptor, static_cast<uid_t>(-1), old.st_gid);
    }
    fchmod(descriptor, old.st_mode & 07777);
}

// An existing table that we may not write is refused, as opening it for
// writing would have been, rather than quietly replaced.
IoStatus check_writable(std::string_view target)
{
    const OpenResult probe = open_descriptor(target, O_WRONLY | O_NONBLOCK);
    if (!probe.status.ok) {
        return probe.status.missing ? IoStatus{} : probe.status;
    }
    close(descriptor_of(probe.file));
    return {};
}

bool folder_refuses(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

} // namespace

NativeFiles::NativeFiles()
{
    install_cleanup_handlers();
}

OpenResult NativeFiles::open_for_reading(std::string_view name)
{
    return open_descriptor(name, O_RDONLY);
}

OpenResult NativeFiles::create_for_writing(std::string_view name)
{
    return open_descriptor(name, O_WRONLY | O_CREAT | O_TRUNC);
}

// What the name is, the system tells as it opens it; where it lies, the
// links followed by hand tell, and only a plain file or none needs that.
FileFacts NativeFiles::look_up(std::string_view name)
{
    FileFacts facts;
    const std::string zero_terminated(name);
    struct stat info{};
    if (stat(zero_terminated.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            facts.status = system_failure(errno);
            return facts;
        }
    } else {
        facts.exists = true;
        facts.regular = S_ISREG(info.st_mode);
        facts.id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    }
    facts.final_name = !facts.exists || facts.regular ? follow_links(name) : zero_terminated;
    return facts;
}

NewFile NativeFiles::create_beside(std::string_view target)
{
    NewFile created;
    created.status = check_writable(target);
    if (!created.status.ok) {
        return created;
    }
    const std::string unique_name = std::string(target).append(".cardtab-XXXXXX");
    if (unique_name.size() >= kMaxPendingName) {
        created.status = system_failure(ENAMETOOLONG);
        return created;
    }
    int descriptor = -1;
    int error = 0;
    {
        const SignalsHeld held;
        unique_name.copy(pending_name.data(), unique_name.size());
        pending_name[unique_name.size()] = '\0';
        descriptor = mkstemp(pending_name.data());
        error = errno;
        pending = descriptor >= 0 ? 1 : 0;
    }
    if (descriptor < 0) {
        created.status = system_failure(error);
        created.folder_refused = folder_refuses(error);
        return created;
    }
    copy_permissions(descriptor, target);
    created.file = file_of(descriptor);
    created.name = pending_name.data();
    return created;
}

// Nothing here is synced to the disk. A run must never lose the old table,
// and the rename gives that: whoever reads the name sees the old table or
// the whole new one. Surviving a power cut would need a sync of the file
// and its folder on every run, which costs far more than a table is worth.
IoStatus NativeFiles::replace(std::string_view new_name, std::string_view target)
{
    const std::string from(new_name);
    const std::string to(target);
    const SignalsHeld held;
    if (rename(from.c_str(), to.c_str()) != 0) {
        return system_failure(errno);
    }
    pending = 0;
    return {};
}

IoStatus NativeFiles::remove(std::string_view new_name)
{
    const std::string name(new_name);
    const SignalsHeld held;
    if (unlink(name.c_str()) != 0 && errno != ENOENT) {
        return system_failure(errno);
    }
    pending = 0;
    return {};
}

ReadResult NativeFiles::read(FileHandle file, std::span<char> into)
{
    ReadResult result;
    ssize_t got = 0;
    do {
        got = ::read(descriptor_of(file), into.data(), into.size());
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        result.status = system_failure(errno);
        return result;
    }
    result.count = static_cast<std::size_t>(got);
    return result;
}

IoStatus NativeFiles::write(FileHandle file, std::span<const char> bytes)
{
    while (!bytes.empty()) {
        const ssize_t put = ::write(descriptor_of(file), bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return system_failure(put < 0 ? errno : EIO);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(put));
    }
    return {};
}

// A close that fails is not retried: on Linux the descriptor is gone
// whatever close reports.
IoStatus NativeFiles::close(FileHandle file)
{
    if (::close(descriptor_of(file)) != 0 && errno != EINTR) {
        return system_failure(errno);
    }
    return {};
}

} // namespace cardtab
