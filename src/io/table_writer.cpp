#include "io/table_writer.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <span>

namespace cardtab {

namespace {

void flush(TableWriter& writer)
{
    if (writer.used == 0 || !writer.status.ok) {
        writer.used = 0;
        return;
    }
    if (writer.files == nullptr) {
        writer.status = failed_with("the rows are more than the buffer holds");
        writer.used = 0;
        return;
    }
    writer.status = writer.file.write(std::span<const char>(writer.buffer.data(), writer.used));
    writer.written += writer.used;
    writer.used = 0;
}

// Where the buffer has room for `count` more bytes: it grows while it may,
// and is written out when it may not; `count` is never more than the buffer
// holds.
char* room_for(TableWriter& writer, std::size_t count)
{
    if (writer.buffer.size() - writer.used < count && writer.buffer.size() < writer.largest_buffer) {
        const std::size_t wanted = std::max(2 * writer.buffer.size(), writer.used + count);
        writer.buffer.resize(std::min(wanted, writer.largest_buffer));
    }
    if (writer.buffer.size() - writer.used < count) {
        flush(writer);
    }
    return writer.buffer.data() + writer.used;
}

// Copies `text` to `out` with each `quote` byte twice; returns the end of
// what it wrote.
char* copy_doubling(char* out, std::string_view text, char quote)
{
    for (const char byte : text) {
        if (byte == quote) {
            *out++ = byte;
        }
        *out++ = byte;
    }
    return out;
}

} // namespace

IoStatus create_table_writer(TableWriter& writer, FileLayer& files, const FileFacts& target,
                             std::size_t buffer_bytes)
{
    const IoStatus begun = begin_table(files, target, writer.table);
    if (!begun.ok) {
        return begun;
    }
    writer.files = &files;
    writer.file = OwnedFile(files, writer.table.file);
    writer.largest_buffer = std::max<std::size_t>(buffer_bytes, 1);
    writer.buffer.assign(std::min(writer.largest_buffer, kFirstWriteChunkBytes), '\0');
    writer.used = 0;
    return {};
}

void open_row_buffer(TableWriter& writer, std::size_t largest)
{
    writer.largest_buffer = largest;
    writer.buffer.assign(std::min(largest, kFirstWriteChunkBytes), '\0');
    empty_row_buffer(writer);
}

void empty_row_buffer(TableWriter& writer)
{
    writer.used = 0;
    writer.status = {};
}

void append_lines(TableWriter& writer, std::string_view lines)
{
    if (lines.size() > writer.buffer.size() - writer.used) {
        flush(writer);
    }
    if (lines.size() > writer.buffer.size()) {
        if (writer.status.ok) {
            writer.status = writer.file.write(std::span<const char>(lines.data(), lines.size()));
            writer.written += lines.size();
        }
        return;
    }
    std::memcpy(writer.buffer.data() + writer.used, lines.data(), lines.size());
    writer.used += lines.size();
}

char* begin_line(TableWriter& writer, std::size_t bytes)
{
    // A buffer too small for a whole line (only tests choose one) may grow
    // to hold it.
    writer.largest_buffer = std::max(writer.largest_buffer, bytes + 2);
    return room_for(writer, bytes + 2);
}

char* append_text(char* out, std::string_view text)
{
    assert(text.find('\n') == std::string_view::npos);
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

char* append_quoted(char* out, std::string_view text, char quote)
{
    *out++ = quote;
    if (std::memchr(text.data(), quote, text.size()) == nullptr) {
        out = append_text(out, text);
    } else {
        assert(text.find('\n') == std::string_view::npos);
        out = copy_doubling(out, text, quote);
    }
    *out++ = quote;
    return out;
}

void end_line(TableWriter& writer, char* out)
{
    *out++ = '\r';
    *out++ = '\n';
    writer.used = static_cast<std::size_t>(out - writer.buffer.data());
}

namespace {

// A lock on a descriptor the shell opened outlives the handle: it is let go
// as soon as the table is written, or given up.
void let_go_of_lock(TableWriter& writer)
{
    if (writer.table.locked && writer.file.is_open()) {
        writer.files->unlock(writer.file.handle());
        writer.table.locked = false;
    }
}

} // namespace

IoStatus close_table_writer(TableWriter& writer)
{
    if (writer.file.is_open()) {
        flush(writer);
    }
    let_go_of_lock(writer);
    IoStatus closed = writer.file.close();
    return writer.status.ok ? closed : writer.status;
}

IoStatus commit_table(TableWriter& writer)
{
    return writer.files == nullptr ? IoStatus{} : commit_new_table(*writer.files, writer.table, writer.written);
}

void discard_table(TableWriter& writer)
{
    let_go_of_lock(writer);
    writer.file.close();
    if (writer.files != nullptr) {
        discard_new_table(*writer.files, writer.table);
    }
}

TableWriter::~TableWriter()
{
    discard_table(*this);
}

} // namespace cardtab
