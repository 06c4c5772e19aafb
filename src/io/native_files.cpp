#include "io/native_files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cardtab {

namespace {

std::FILE* stream_of(OpenFile file)
{
    return static_cast<std::FILE*>(file.handle);
}

IoStatus system_failure(int error)
{
    IoStatus status = failed_with(std::strerror(error));
    status.missing = error == ENOENT;
    return status;
}

OpenResult open_stream(std::string_view name, const char* mode)
{
    const std::string zero_terminated(name);
    errno = 0;
    std::FILE* stream = std::fopen(zero_terminated.c_str(), mode);
    OpenResult result;
    if (stream == nullptr) {
        result.status = system_failure(errno != 0 ? errno : EINVAL);
        return result;
    }
    std::setvbuf(stream, nullptr, _IONBF, 0);
    result.file.handle = stream;
    return result;
}

} // namespace

OpenResult NativeFiles::open_for_reading(std::string_view name)
{
    return open_stream(name, "rb");
}

OpenResult NativeFiles::create_for_writing(std::string_view name)
{
    return open_stream(name, "wb");
}

ReadResult NativeFiles::read(OpenFile file, std::span<char> into)
{
    errno = 0;
    ReadResult result;
    result.count = std::fread(into.data(), 1, into.size(), stream_of(file));
    if (result.count == 0 && std::ferror(stream_of(file)) != 0) {
        result.status = system_failure(errno != 0 ? errno : EIO);
    }
    return result;
}

IoStatus NativeFiles::write(OpenFile file, std::span<const char> bytes)
{
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream_of(file)) != bytes.size()) {
        return system_failure(errno != 0 ? errno : EIO);
    }
    return {};
}

IoStatus NativeFiles::close(OpenFile file)
{
    errno = 0;
    if (std::fclose(stream_of(file)) != 0) {
        return system_failure(errno != 0 ? errno : EIO);
    }
    return {};
}

} // namespace cardtab
