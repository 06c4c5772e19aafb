#pragma once

#include <cstddef>
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
struct OpenFile {
    void* handle = nullptr;
};

struct OpenResult {
    OpenFile file;
    IoStatus status;
};

// count 0 with an ok status is the end of the file.
struct ReadResult {
    std::size_t count = 0;
    IoStatus status;
};

class FileLayer {
public:
    // Opens an existing file for reading only; `name` is passed on unchanged.
    virtual OpenResult open_for_reading(std::string_view name) = 0;
    // Creates a file, or empties an existing one, for writing.
    virtual OpenResult create_for_writing(std::string_view name) = 0;
    virtual ReadResult read(OpenFile file, std::span<char> into) = 0;
    // Writes all of `bytes` or fails.
    virtual IoStatus write(OpenFile file, std::span<const char> bytes) = 0;
    // Closes the file whatever happened before; reports a failed close.
    virtual IoStatus close(OpenFile file) = 0;

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
