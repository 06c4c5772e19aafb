#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "io/file_layer.hpp"

namespace cardtab {

inline constexpr std::size_t kWriteChunkBytes = std::size_t{128} * 1024;

// Writes a file as text the same way on every platform: each line feed
// becomes CR LF. Output is gathered in a large buffer; the first failure is
// kept, later output is dropped, and close_table_writer reports it.
struct TableWriter {
    FileLayer* files = nullptr;
    OpenFile file;
    std::vector<char> buffer;
    std::size_t used = 0;
    IoStatus status;
};

IoStatus create_table_writer(TableWriter& writer, FileLayer& files, std::string_view name,
                             std::size_t buffer_bytes = kWriteChunkBytes);

void put_text(TableWriter& writer, std::string_view text);
// As put_text, with each byte `doubled` written twice. A line feed is never
// doubled: it becomes CR LF.
void put_text_doubling(TableWriter& writer, std::string_view text, char doubled);
void put_byte(TableWriter& writer, char byte);

// Writes what is buffered and closes the file. Returns the first failure of
// any write or of the close itself.
IoStatus close_table_writer(TableWriter& writer);

} // namespace cardtab
