#include "io/native_files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace cardtab {

namespace {

int descriptor_of(FileHandle file)
{
    return static_cast<int>(file.handle);
}

IoStatus system_failure(int error)
{
    IoStatus status = failed_with(std::strerror(error));
    status.missing = error == ENOENT;
    status.exists = error == EEXIST;
    status.denied = error == EACCES || error == EPERM || error == EROFS;
    return status;
}

OpenResult open_named(std::string_view name, int flags, mode_t mode = 0666)
{
    const std::string zero_terminated(name);
    OpenResult result;
    const int descriptor = open(zero_terminated.c_str(), flags, mode);
    if (descriptor < 0) {
        result.status = system_failure(errno);
        return result;
    }
    result.file = FileHandle{descriptor};
    return result;
}

std::string folder_of(std::string_view name)
{
    const std::size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(name.substr(0, slash + 1));
}

constexpr int kNoDescriptor = -1;

int number_of(std::string_view digits)
{
    int number = 0;
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return kNoDescriptor;
    }
    for (const char digit : digits) {
        number = number * 10 + (digit - '0');
    }
    return number;
}

// The process's own descriptor a name stands for, or kNoDescriptor: writing
// to it writes to whatever that descriptor is (`cardtab >> run.log`), at its
// offset. Another process's descriptors are links like any other.
int descriptor_named(std::string_view name)
{
    const struct {
        std::string_view name;
        int descriptor;
    } standard[] = {{"/dev/stdin", STDIN_FILENO}, {"/dev/stdout", STDOUT_FILENO}, {"/dev/stderr", STDERR_FILENO}};
    for (const auto& stream : standard) {
        if (name == stream.name) {
            return stream.descriptor;
        }
    }
    const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
    for (const std::string_view folder : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
                                          std::string_view("/proc/thread-self/fd/"), std::string_view(own)}) {
        if (name.starts_with(folder)) {
            return number_of(name.substr(folder.size()));
        }
    }
    return kNoDescriptor;
}

struct Followed {
    std::string name;
    int descriptor = kNoDescriptor;
};

// Symbolic links are followed one at a time, rather than with realpath, so
// that a link to a table that does not exist yet still leads somewhere, and
// a link to a descriptor is seen as one.
constexpr int kMaxLinksFollowed = 40;
constexpr std::size_t kMaxLinkBytes = 4096;

Followed follow_links(std::string_view name)
{
    Followed followed{std::string(name)};
    for (int hops = 0; hops < kMaxLinksFollowed; ++hops) {
        struct stat info{};
        if (lstat(followed.name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            break;
        }
        std::array<char, kMaxLinkBytes> link{};
        const ssize_t length = readlink(followed.name.c_str(), link.data(), link.size());
        if (length <= 0 || static_cast<std::size_t>(length) == link.size()) {
            break;
        }
        const std::string_view points_to(link.data(), static_cast<std::size_t>(length));
        const std::string next = points_to.starts_with('/') ? std::string(points_to) : folder_of(followed.name).append(points_to);
        followed.name = next;
        if (followed.descriptor = descriptor_named(next); followed.descriptor != kNoDescriptor) {
            break;
        }
    }
    return followed;
}

// Extended attributes, POSIX access-control lists among them: a file made
// anew would not carry them.
bool carries_attributes(const std::string& name)
{
#if defined(__linux__)
    return listxattr(name.c_str(), nullptr, 0) > 0;
#else
    static_cast<void>(name);
    return false;
#endif
}

mode_t new_file_mode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

NativeFiles::NativeFiles()
{
    for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(descriptor, F_GETFD) == -1 && errno == EBADF) {
            standard_output_closed_ = standard_output_closed_ || descriptor == STDOUT_FILENO;
            [[maybe_unused]] const int plug = open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        }
    }
}

OpenResult NativeFiles::open_for_reading(std::string_view name)
{
    return open_named(name, O_RDONLY);
}

OpenResult NativeFiles::create_for_writing(std::string_view name)
{
    return open_named(name, O_WRONLY | O_CREAT | O_TRUNC);
}

// Private to this user until adopt_permissions says otherwise, as mkstemp
// would make it.
OpenResult NativeFiles::create_new(std::string_view name)
{
    return open_named(name, O_WRONLY | O_CREAT | O_EXCL, 0600);
}

OpenResult NativeFiles::open_for_update(std::string_view name)
{
    return open_named(name, O_WRONLY);
}

std::string NativeFiles::temporary_folder()
{
    const char* folder = std::getenv("TMPDIR");
    std::string name = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    return name.ends_with('/') ? name : name.append("/");
}

// Where /proc/self/exe leads: the program itself, its links followed.
std::string NativeFiles::program_folder()
{
    std::array<char, 4096> path{};
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        return {};
    }
    return folder_of(std::string_view(path.data(), static_cast<std::size_t>(length)));
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
        facts.links = static_cast<std::uint64_t>(info.st_nlink);
        facts.owned_by_another = geteuid() != 0 && (info.st_uid != geteuid() || info.st_gid != getegid());
    }
    const Followed followed = follow_links(name);
    facts.descriptor = followed.descriptor;
    facts.final_name = followed.name;
    facts.carries_more = facts.regular && carries_attributes(facts.final_name);
    return facts;
}

FileKind NativeFiles::identify(std::string_view name)
{
    FileKind kind;
    const std::string zero_terminated(name);
    struct stat info{};
    if (stat(zero_terminated.c_str(), &info) != 0) {
        kind.status = errno == ENOENT ? IoStatus{} : system_failure(errno);
        return kind;
    }
    kind.exists = true;
    kind.folder = S_ISDIR(info.st_mode);
    kind.regular = S_ISREG(info.st_mode);
    kind.id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return kind;
}

IoStatus NativeFiles::list_folder(std::string_view name, std::vector<FolderEntry>& entries)
{
    DIR* const folder = opendir(std::string(name).c_str());
    if (folder == nullptr) {
        return system_failure(errno);
    }
    struct stat info{};
    if (fstat(dirfd(folder), &info) != 0) {
        const int error = errno;
        closedir(folder);
        return system_failure(error);
    }
    IoStatus status;
    for (;;) {
        errno = 0;
        const dirent* const entry = readdir(folder);
        if (entry == nullptr) {
            status = errno == 0 ? IoStatus{} : system_failure(errno);
            break;
        }
        const std::string_view entry_name = entry->d_name;
        // A plain file's inode is the entry's, on the folder's device; a
        // file system mounted on an entry is a folder, and links lead on.
        if (entry_name != "." && entry_name != "..") {
            const bool plain_file = entry->d_type == DT_REG;
            entries.push_back({std::string(entry_name), plain_file,
                               plain_file ? FileId{static_cast<std::uint64_t>(info.st_dev),
                                                   static_cast<std::uint64_t>(entry->d_ino)}
                                          : FileId{}});
        }
    }
    closedir(folder);
    return status;
}

FileFacts NativeFiles::look_up_descriptor(int descriptor)
{
    FileFacts facts;
    facts.descriptor = descriptor;
    struct stat info{};
    if (descriptor == STDOUT_FILENO && standard_output_closed_) {
        facts.status = system_failure(EBADF);
        return facts;
    }
    if (fstat(descriptor, &info) != 0) {
        facts.status = system_failure(errno);
        return facts;
    }
    facts.exists = true;
    facts.regular = S_ISREG(info.st_mode);
    facts.id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    facts.links = static_cast<std::uint64_t>(info.st_nlink);
    return facts;
}

OpenResult NativeFiles::open_descriptor(int descriptor)
{
    OpenResult result;
    const int duplicate = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0) {
        result.status = system_failure(errno);
        return result;
    }
    result.file = FileHandle{duplicate};
    return result;
}

IoStatus NativeFiles::check_writable(std::string_view name)
{
    const OpenResult probe = open_named(name, O_WRONLY | O_NONBLOCK);
    if (!probe.status.ok) {
        return probe.status.missing ? IoStatus{} : probe.status;
    }
    ::close(descriptor_of(probe.file));
    return {};
}

void NativeFiles::adopt_permissions(FileHandle file, std::string_view like)
{
    const int descriptor = descriptor_of(file);
    const std::string zero_terminated(like);
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

// Nothing here is synced to the disk. A run must never lose the old table,
// and the rename gives that: whoever reads the name sees the old table or
// the whole new one. Surviving a power cut would need a sync of the file
// and its folder on every run, which costs far more than a table is worth.
IoStatus NativeFiles::move_over(std::string_view from, std::string_view to)
{
    const std::string old_name(from);
    const std::string new_name(to);
    if (rename(old_name.c_str(), new_name.c_str()) != 0) {
        return system_failure(errno);
    }
    return {};
}

IoStatus NativeFiles::remove(std::string_view name)
{
    const std::string zero_terminated(name);
    if (unlink(zero_terminated.c_str()) != 0 && errno != ENOENT) {
        return system_failure(errno);
    }
    return {};
}

IoStatus NativeFiles::lock(FileHandle file)
{
    int locked = 0;
    do {
        locked = flock(descriptor_of(file), LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0) {
        return {};
    }
    IoStatus failure = system_failure(errno);
    failure.busy = errno == EWOULDBLOCK;
    return failure;
}

void NativeFiles::unlock(FileHandle file)
{
    flock(descriptor_of(file), LOCK_UN);
}

IoStatus NativeFiles::reserve(FileHandle file, std::uint64_t size)
{
#if defined(__linux__)
    if (fallocate(descriptor_of(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) {
        return {};
    }
    const int error = errno;
    IoStatus failure = system_failure(error);
    failure.unsupported = error == EOPNOTSUPP || error == ENOSYS;
    return failure;
#else
    static_cast<void>(file);
    static_cast<void>(size);
    IoStatus failure = system_failure(EOPNOTSUPP);
    failure.unsupported = true;
    return failure;
#endif
}

IoStatus NativeFiles::grow(FileHandle file, std::uint64_t size)
{
    const int descriptor = descriptor_of(file);
    struct stat info{};
    if (fstat(descriptor, &info) != 0) {
        return system_failure(errno);
    }
    const auto old_size = static_cast<std::uint64_t>(info.st_size);
    static constexpr std::array<char, 64 * 1024> kZeros{};
    for (std::uint64_t at = old_size; at < size;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kZeros.size(), size - at));
        const ssize_t written = pwrite(descriptor, kZeros.data(), count, static_cast<off_t>(at));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const IoStatus failure = system_failure(written < 0 ? errno : ENOSPC);
            static_cast<void>(ftruncate(descriptor, static_cast<off_t>(old_size)));
            return failure;
        }
        at += static_cast<std::uint64_t>(written);
    }
    return {};
}

IoStatus NativeFiles::rewind(FileHandle file)
{
    return lseek(descriptor_of(file), 0, SEEK_SET) == 0 ? IoStatus{} : system_failure(errno);
}

IoStatus NativeFiles::truncate(FileHandle file, std::uint64_t size)
{
    return ftruncate(descriptor_of(file), static_cast<off_t>(size)) == 0 ? IoStatus{} : system_failure(errno);
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
