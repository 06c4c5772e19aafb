#pragma once

#include "io/file_layer.hpp"

namespace cardtab {

// Files of the operating system, opened in binary mode by their byte names
// and read and written unbuffered: the line reader and the table writer
// bring their own large buffers.
class NativeFiles final : public FileLayer {
public:
    OpenResult open_for_reading(std::string_view name) override;
    OpenResult create_for_writing(std::string_view name) override;
    ReadResult read(OpenFile file, std::span<char> into) override;
    IoStatus write(OpenFile file, std::span<const char> bytes) override;
    IoStatus close(OpenFile file) override;
};

} // namespace cardtab
