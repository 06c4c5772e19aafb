#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_layer.hpp"
#include "io/owned_file.hpp"
#include "io/table_replacement.hpp"

namespace cardtab {

inline constexpr std::size_t kWriteChunkBytes = std::size_t{128} * 1024;
// The buffer starts at this size and doubles as lines fill it, up to the
// size asked: a small table costs little memory, a large one few writes.
inline constexpr std::size_t kFirstWriteChunkBytes = 4096;

// Writes a file of text lines the same way on every platform: each line
// ends in CR LF. Output is gathered in a large buffer; the first failure is
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
    NewTable table; // how the table takes the old one's place
    std::vector<char> buffer;
    std::size_t largest_buffer = kWriteChunkBytes;
    std::size_t used = 0;
    std::uint64_t written = 0; // bytes handed to the file so far
    IoStatus status;
};

// Starts the table that is to end up as `target`, as begin_table does: so
// that no failure costs the old table.
IoStatus create_table_writer(TableWriter& writer, FileLayer& files, const FileFacts& target,
                             std::size_t buffer_bytes = kWriteChunkBytes);

// A writer that keeps its lines in memory, for another writer to take: at
// most `largest` bytes, past which it fails and drops what it has.
void open_row_buffer(TableWriter& writer, std::size_t largest);

// What a row buffer holds, and a fresh start for it.
inline std::string_view buffered_rows(const TableWriter& writer)
{
    return {writer.buffer.data(), writer.used};
}
void empty_row_buffer(TableWriter& writer);

// Writes lines another writer made, as they are.
void append_lines(TableWriter& writer, std::string_view lines);

// A line written field by field straight into the buffer: begin_line makes
// room for at most `bytes` and returns where the line starts; append_text
// adds a text as it is, append_quoted between two `quote` bytes with each
// quote byte in it written twice, both from a text that holds no line feed
// (no field does: a value ends where its card line does, a title where its
// configuration line does); end_line adds the line end, CR LF, and takes the
// line. One check for room a line.
char* begin_line(TableWriter& writer, std::size_t bytes);
char* append_text(char* out, std::string_view text);
char* append_quoted(char* out, std::string_view text, char quote);
void end_line(TableWriter& writer, char* out);

// Writes what is buffered and closes the file. Returns the first failure of
// any write or of the close itself.
IoStatus close_table_writer(TableWriter& writer);

// Puts the complete, closed table in place of the old one.
IoStatus commit_table(TableWriter& writer);

// Gives up the table: closes it if need be and removes the new file, so the
// old table stays as it was. A table written directly stays as written.
void discard_table(TableWriter& writer);

} // namespace cardtab
