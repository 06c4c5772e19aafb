#pragma once

#include "io/file_layer.hpp"

namespace cardtab {

// Files of the operating system, opened in binary mode by their byte names
// and read and written unbuffered: the line reader and the table writer
// bring their own large buffers.
//
// While it exists, an interrupt, a termination or a hang-up (a console
// close on Windows) first removes the new file that create_beside made, if
// it is still there, and then ends the process as the signal would have.
// A write past the process's file-size limit fails like any other write
// instead of killing the process.
class NativeFiles final : public FileLayer {
public:
    NativeFiles();
    NativeFiles(const NativeFiles&) = delete;
    NativeFiles& operator=(const NativeFiles&) = delete;

    OpenResult open_for_reading(std::string_view name) override;
    OpenResult create_for_writing(std::string_view name) override;
    FileFacts look_up(std::string_view name) override;
    NewFile create_beside(std::string_view target) override;
    IoStatus replace(std::string_view new_name, std::string_view target) override;
    IoStatus remove(std::string_view new_name) override;
    ReadResult read(FileHandle file, std::span<char> into) override;
    IoStatus write(FileHandle file, std::span<const char> bytes) override;
    IoStatus close(FileHandle file) override;
};

} // namespace cardtab
