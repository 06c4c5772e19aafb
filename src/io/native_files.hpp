#pragma once

#include "io/file_layer.hpp"

namespace cardtab {

// Files of the operating system, opened in binary mode by their byte names
// and read and written unbuffered: the line reader and the table writer
// bring their own large buffers. native_files_posix.cpp and
// native_files_windows.cpp hold the system calls and the facts only the
// system can tell (FileFacts: where a name's links lead, which names are the
// process's own descriptors, what a rename would drop); what the program
// makes of those facts is decided once, in table_replacement.cpp.
class NativeFiles final : public FileLayer {
public:
    // A standard descriptor that the process was started without (cardtab
    // >&-) is taken by /dev/null at once, so that no file the run opens
    // gets its number and is written as standard output or error; the
    // table "-" on a closed standard output still fails.
    NativeFiles();
    OpenResult open_for_reading(std::string_view name) override;
    OpenResult create_for_writing(std::string_view name) override;
    OpenResult create_new(std::string_view name) override;
    OpenResult open_for_update(std::string_view name) override;
    std::string temporary_folder() override;
    std::string program_folder() override;
    FileFacts look_up(std::string_view name) override;
    FileKind identify(std::string_view name) override;
    IoStatus list_folder(std::string_view name, std::vector<FolderEntry>& entries) override;
    FileFacts look_up_descriptor(int descriptor) override;
    OpenResult open_descriptor(int descriptor) override;
    IoStatus check_writable(std::string_view name) override;
    void adopt_permissions(FileHandle file, std::string_view like) override;
    IoStatus move_over(std::string_view from, std::string_view to) override;
    IoStatus remove(std::string_view name) override;
    IoStatus lock(FileHandle file) override;
    void unlock(FileHandle file) override;
    IoStatus reserve(FileHandle file, std::uint64_t size) override;
    IoStatus grow(FileHandle file, std::uint64_t size) override;
    IoStatus rewind(FileHandle file) override;
    IoStatus truncate(FileHandle file, std::uint64_t size) override;
    ReadResult read(FileHandle file, std::span<char> into) override;
    IoStatus write(FileHandle file, std::span<const char> bytes) override;
    IoStatus close(FileHandle file) override;

private:
    bool standard_output_closed_ = false;
};

} // namespace cardtab
