#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The file layer: the only place the program touches files. Each operation
// is one step of the system; what the program makes of them (the text-mode
// rules, how a new table takes the old one's place) lives above it, the
// same on every platform.
namespace cardtab {

struct IoStatus {
    bool ok = true;
    bool missing = false; // there is no such file
    bool exists = false;  // a new file was asked for, and there is one
    bool denied = false;  // the system does not allow it (permissions, a read-only disk)
    bool unsupported = false; // the file system cannot do it
    bool busy = false;    // another program holds it locked, or open to itself
    std::string reason;   // the system's words for what failed
};

// A file opened by a FileLayer; only that layer knows what `handle` holds.
// -1 is no file, as for a POSIX descriptor or a Windows handle.
struct FileHandle {
    std::intptr_t handle = -1;
    bool is_open() const { return handle != -1; }
};

struct OpenResult {
    FileHandle file;
    IoStatus status;
};

// count 0 with an ok status is the end of the file.
struct ReadResult {
    std::size_t count = 0;
    IoStatus status;
};

// Which file a name leads to: two names lead to the same file exactly when
// their ids are equal (device and inode, or volume and file index).
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend auto operator<=>(const FileId&, const FileId&) = default;
};

// What a name leads to once every symbolic link on it is followed.
struct FileFacts {
    IoStatus status;        // a failure other than "no such file"
    std::string final_name; // the name itself when it is no link
    bool exists = false;
    bool regular = false;   // a plain file, which a new file can replace
    FileId id;              // when it exists
    std::uint64_t links = 1; // the names the file has (hard links)
    // An access-control list or extended attributes, which a file made anew
    // would not have.
    bool carries_more = false;
    // Another owner or group than a file this run makes would have, which
    // the run may not give back to it.
    bool owned_by_another = false;
    // The process's own descriptor the name leads to (/dev/stdout,
    // /dev/fd/N, /proc/self/fd/N), or -1: the table is written through it,
    // where the shell opened it, never opened again.
    int descriptor = -1;
};

// What a name leads to, as far as telling card files apart needs: one look
// at it, its links followed.
struct FileKind {
    IoStatus status; // a failure other than "no such file"
    bool exists = false;
    bool folder = false;
    bool regular = false; // a plain file, not a folder, a device or a pipe
    FileId id;            // when it exists
};

// An entry of a folder: its name, and, where the listing tells that it is a
// plain file, which file it is, with no look at it of its own.
struct FolderEntry {
    std::string name;
    bool plain_file = false;
    FileId id; // where plain_file
};

// What joins a folder's name and a name in it, and every byte that may.
#ifdef _WIN32
inline constexpr char kFolderSeparator = '\\';
inline constexpr std::string_view kFolderSeparators = "/\\";
#else
inline constexpr char kFolderSeparator = '/';
inline constexpr std::string_view kFolderSeparators = "/";
#endif

// The descriptors of standard output and error, as look_up_descriptor and
// open_descriptor take it on every platform.
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// What names the system's folder for temporary files, for messages.
#ifdef _WIN32
inline constexpr std::string_view kTemporaryFolderSetting = "TEMP";
#else
inline constexpr std::string_view kTemporaryFolderSetting = "TMPDIR";
#endif

class FileLayer {
public:
    // Opens an existing file for reading only; `name` is passed on unchanged.
    virtual OpenResult open_for_reading(std::string_view name) = 0;
    // Creates a file, or empties an existing one, for writing.
    virtual OpenResult create_for_writing(std::string_view name) = 0;
    // Creates a file that does not exist yet, for writing; fails with
    // `exists` where a file of that name is already there.
    virtual OpenResult create_new(std::string_view name) = 0;
    // Opens an existing file for writing without emptying it, at its start.
    virtual OpenResult open_for_update(std::string_view name) = 0;
    // The system's folder for temporary files, a separator at its end.
    virtual std::string temporary_folder() = 0;
    // The folder that holds the running program, a separator at its end;
    // empty where the system cannot tell.
    virtual std::string program_folder() = 0;
    virtual FileFacts look_up(std::string_view name) = 0;
    virtual FileKind identify(std::string_view name) = 0;
    // The entries directly in a folder, but "." and "..", in the order the
    // system gives them.
    virtual IoStatus list_folder(std::string_view name, std::vector<FolderEntry>& entries) = 0;
    // What one of this process's own descriptors is open on, told as
    // look_up tells it of a name, `descriptor` set.
    virtual FileFacts look_up_descriptor(int descriptor) = 0;
    // A handle of its own on one of this process's descriptors: writing
    // to it writes where the descriptor writes, at its offset, and closing
    // it leaves the descriptor open.
    virtual OpenResult open_descriptor(int descriptor) = 0;
    // Whether an existing file may be written, as opening it for writing
    // would tell; a missing file may be.
    virtual IoStatus check_writable(std::string_view name) = 0;
    // Gives a new file the owner, group and permission bits of the file
    // `like`, or those of any new file where there is none. A courtesy: where
    // the system will not, the file stays as it was made.
    virtual void adopt_permissions(FileHandle file, std::string_view like) = 0;
    // Moves the closed file `from` over `to`, in one step.
    virtual IoStatus move_over(std::string_view from, std::string_view to) = 0;
    // Removes a closed file; one that is gone already is no failure.
    virtual IoStatus remove(std::string_view name) = 0;
    // Takes a lock on the open file that no other process holds at the
    // same time, without waiting: `busy` where another holds one. Unlocking,
    // or closing every handle on the file, lets it go.
    virtual IoStatus lock(FileHandle file) = 0;
    // A file opened by another's hand (a descriptor the shell opened) stays
    // open after the run: its lock is let go here.
    virtual void unlock(FileHandle file) = 0;
    // Makes sure of room for `size` bytes on the disk, without changing the
    // file's length or bytes; `unsupported` where the file system cannot.
    virtual IoStatus reserve(FileHandle file, std::uint64_t size) = 0;
    // Where room cannot be reserved: makes the file at least `size` bytes
    // long by writing zero bytes after its end, which takes the disk's room
    // for them, its own bytes unchanged; where that fails, the file keeps
    // its length. The next write goes where it went before.
    virtual IoStatus grow(FileHandle file, std::uint64_t size) = 0;
    // The next write goes to the start of the file.
    virtual IoStatus rewind(FileHandle file) = 0;
    virtual IoStatus truncate(FileHandle file, std::uint64_t size) = 0;
    virtual ReadResult read(FileHandle file, std::span<char> into) = 0;
    // Writes all of `bytes` or fails.
    virtual IoStatus write(FileHandle file, std::span<const char> bytes) = 0;
    // Closes the file whatever happened before; reports a failed close.
    virtual IoStatus close(FileHandle file) = 0;

protected:
    ~FileLayer() = default;
};

inline IoStatus failed_with(std::string reason)
{
    IoStatus status;
    status.ok = false;
    status.reason = std::move(reason);
    return status;
}

} // namespace cardtab
