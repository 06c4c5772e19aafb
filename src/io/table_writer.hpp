#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_layer.hpp"
#include "io/owned_file.hpp"

namespace cardtab {

inline constexpr std::size_t kWriteChunkBytes = std::size_t{128} * 1024;

// Writes a file as text the same way on every platform: each line feed
// becomes CR LF. Output is gathered in a large buffer; the first failure is
// kept, later output is dropped, and close_table_writer reports it.
// A table that has not been put in place by the time the writer goes is
// discarded.
struct TableWriter {
    TableWriter() = default;
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;
    ~TableWriter();

    FileLayer* files = nullptr;
    OwnedFile file;
    std::string target;   // the file that the table ends up as
    std::string new_name; // the file written beside it; empty when in place
    std::vector<char> buffer;
    std::size_t used = 0;
    IoStatus status;
};

// Starts the table that is to end up as `target`. Where `target` is a plain
// file, or none yet, the table is written beside it as a new file that takes
// its place only once it is complete, so that no failure costs the old
// table. Anything else (a device, a pipe), or a file in a folder that allows
// no new file, is written in place.
IoStatus create_table_writer(TableWriter& writer, FileLayer& files, const FileFacts& target,
                             std::size_t buffer_bytes = kWriteChunkBytes);

void put_text(TableWriter& writer, std::string_view text);
// As put_text, with each byte `doubled` written twice. A line feed is never
// doubled: it becomes CR LF.
void put_text_doubling(TableWriter& writer, std::string_view text, char doubled);
void put_byte(TableWriter& writer, char byte);

// Writes what is buffered and closes the file. Returns the first failure of
// any write or of the close itself.
IoStatus close_table_writer(TableWriter& writer);

// Puts the complete, closed table in place of the old one.
IoStatus put_table_in_place(TableWriter& writer);

// Gives up the table: closes it if need be and removes the new file, so the
// old table stays as it was. A table written in place stays as written.
void discard_table(TableWriter& writer);

} // namespace cardtab
