#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

// The file layer: the only place the program touches files. Everything above
// it works on raw bytes; the text-mode rules live in the line reader and the
// table writer, so every platform gives the same bytes.
namespace cardtab {

struct IoStatus {
    bool ok = true;
    bool missing = false; // an open failed because there is no such file
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
    friend bool operator==(const FileId&, const FileId&) = default;
};

// What a name leads to once every symbolic link on it is followed.
struct FileFacts {
    IoStatus status;        // a failure other than "no such file"
    std::string final_name; // the name itself when it is no link
    bool exists = false;
    bool regular = false;   // a plain file, which a new file can replace
    FileId id;              // when it exists
};

// A new file being written in place of another.
struct NewFile {
    FileHandle file;
    std::string name;
    IoStatus status;
    // The folder allows no new file, although the target itself may still
    // be writable.
    bool folder_refused = false;
};

class FileLayer {
public:
    // Opens an existing file for reading only; `name` is passed on unchanged.
    virtual OpenResult open_for_reading(std::string_view name) = 0;
    // Creates a file, or empties an existing one, for writing.
    virtual OpenResult create_for_writing(std::string_view name) = 0;
    virtual FileFacts look_up(std::string_view name) = 0;
    // Creates an empty file in the folder of `target`, under a name that no
    // other run can take, to be moved over `target` once it is complete.
    // It gets the permission bits of `target`, or those of a new file when
    // there is none. Fails as opening `target` for writing would, when
    // `target` exists but may not be written. One new file at a time.
    virtual NewFile create_beside(std::string_view target) = 0;
    // Moves the closed new file over `target`, in one step.
    virtual IoStatus replace(std::string_view new_name, std::string_view target) = 0;
    // Removes the closed new file.
    virtual IoStatus remove(std::string_view new_name) = 0;
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
