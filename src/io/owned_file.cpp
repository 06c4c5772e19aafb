#include "io/owned_file.hpp"

#include <utility>

namespace cardtab {

OwnedFile::OwnedFile(OwnedFile&& other) noexcept
    : files_(other.files_), file_(std::exchange(other.file_, FileHandle{}))
{
}

OwnedFile& OwnedFile::operator=(OwnedFile&& other) noexcept
{
    if (this != &other) {
        close();
        files_ = other.files_;
        file_ = std::exchange(other.file_, FileHandle{});
    }
    return *this;
}

OwnedFile::~OwnedFile()
{
    close();
}

IoStatus OwnedFile::close()
{
    if (!file_.is_open()) {
        return {};
    }
    return files_->close(std::exchange(file_, FileHandle{}));
}

FileHandle OwnedFile::release()
{
    const FileHandle file = file_;
    file_ = FileHandle{};
    return file;
}

} // namespace cardtab
