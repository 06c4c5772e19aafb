#include "io/native_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
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

OpenResult open_descriptor(std::string_view name, int flags, mode_t mode = 0666)
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

// Symbolic links are followed one at a time, rather than with realpath, so
// that a link to a table that does not exist yet still leads somewhere.
constexpr int kMaxLinksFollowed = 40;
constexpr std::size_t kMaxLinkBytes = 4096;

std::string follow_links(std::string_view name)
{
    std::string current(name);
    for (int followed = 0; followed < kMaxLinksFollowed; ++followed) {
        struct stat info{};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            break;
        }
        std::array<char, kMaxLinkBytes> link{};
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

} // namespace

OpenResult NativeFiles::open_for_reading(std::string_view name)
{
    return open_descriptor(name, O_RDONLY);
}

OpenResult NativeFiles::create_for_writing(std::string_view name)
{
    return open_descriptor(name, O_WRONLY | O_CREAT | O_TRUNC);
}

// Private to this user until adopt_permissions says otherwise, as mkstemp
// would make it.
OpenResult NativeFiles::create_new(std::string_view name)
{
    return open_descriptor(name, O_WRONLY | O_CREAT | O_EXCL, 0600);
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

IoStatus NativeFiles::check_writable(std::string_view name)
{
    const OpenResult probe = open_descriptor(name, O_WRONLY | O_NONBLOCK);
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
