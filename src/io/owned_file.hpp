#pragma once

#include "io/file_layer.hpp"

namespace cardtab {

// The one owner of an open file. It closes the file exactly once: close()
// reports how the close went; a path that returns early leaves the file to
// the destructor, which closes it quietly, since that path already has a
// failure to report.
class OwnedFile {
public:
    OwnedFile() = default;
    OwnedFile(FileLayer& files, FileHandle file) : files_(&files), file_(file) {}
    OwnedFile(OwnedFile&& other) noexcept;
    OwnedFile& operator=(OwnedFile&& other) noexcept;
    OwnedFile(const OwnedFile&) = delete;
    OwnedFile& operator=(const OwnedFile&) = delete;
    ~OwnedFile();

    bool is_open() const { return file_.is_open(); }
    FileHandle handle() const { return file_; }
    ReadResult read(std::span<char> into) { return files_->read(file_, into); }
    IoStatus write(std::span<const char> bytes) { return files_->write(file_, bytes); }
    // Closes the file; closing a file that is not open does nothing.
    IoStatus close();
    // Gives the file up, open, to another owner.
    FileHandle release();

private:
    FileLayer* files_ = nullptr;
    FileHandle file_;
};

} // namespace cardtab
