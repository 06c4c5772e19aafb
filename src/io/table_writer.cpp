#include "io/table_writer.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <span>

namespace cardtab {

namespace {

// A part of a text takes at most twice its bytes and two quotes: with four
// bytes, a part is at least one byte.
constexpr std::size_t kSmallestWriteBuffer = 4;

void flush(TableWriter& writer)
{
    if (writer.used == 0 || !writer.status.ok) {
        writer.used = 0;
        return;
    }
    writer.status = writer.file.write(std::span<const char>(writer.buffer.data(), writer.used));
    writer.written += writer.used;
    writer.used = 0;
}

constexpr int kNone = -1;

// Where the buffer has room for `count` more bytes, after a flush if need
// be; `count` is never more than the buffer holds.
char* room_for(TableWriter& writer, std::size_t count)
{
    if (writer.buffer.size() - writer.used < count) {
        flush(writer);
    }
    return writer.buffer.data() + writer.used;
}

// The length of the start of `text` before its first line feed or
// `doubled` byte: what is copied as it is.
std::size_t plain_length(std::string_view text, int doubled)
{
    std::size_t plain = text.size();
    if (const void* found = std::memchr(text.data(), '\n', plain)) {
        plain = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    }
    if (doubled != kNone) {
        if (const void* found = std::memchr(text.data(), doubled, plain)) {
            plain = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        }
    }
    return plain;
}

// Copies `text` to `out` with each line feed as CR LF and each `doubled`
// byte twice; returns the end of what it wrote, at most twice the text.
char* copy_translated(char* out, std::string_view text, int doubled)
{
    const std::size_t plain = plain_length(text, doubled);
    std::memcpy(out, text.data(), plain);
    out += plain;
    for (const char byte : text.substr(plain)) {
        if (byte == '\n') {
            *out++ = '\r';
        } else if (static_cast<unsigned char>(byte) == doubled) {
            *out++ = byte;
        }
        *out++ = byte;
    }
    return out;
}

// Writes `text`, translated, between `before` and `after` (none when -1),
// in parts of at most half the buffer so that each part fits whatever it
// holds. A text of a table is far smaller than the buffer: one part.
void put_translated(TableWriter& writer, int before, std::string_view text, int doubled, int after)
{
    const std::size_t part = writer.buffer.size() / 2 - 1;
    if (text.size() > part) {
        put_translated(writer, before, text.substr(0, part), doubled, kNone);
        for (text.remove_prefix(part); text.size() > part; text.remove_prefix(part)) {
            put_translated(writer, kNone, text.substr(0, part), doubled, kNone);
        }
        put_translated(writer, kNone, text, doubled, after);
        return;
    }
    char* const start = room_for(writer, 2 * text.size() + 2);
    char* out = start;
    if (before != kNone) {
        *out++ = static_cast<char>(before);
    }
    out = copy_translated(out, text, doubled);
    if (after != kNone) {
        *out++ = static_cast<char>(after);
    }
    writer.used += static_cast<std::size_t>(out - start);
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
    writer.buffer.assign(std::max<std::size_t>(buffer_bytes, kSmallestWriteBuffer), '\0');
    writer.used = 0;
    return {};
}

void put_text(TableWriter& writer, std::string_view text)
{
    put_translated(writer, kNone, text, kNone, kNone);
}

void put_quoted(TableWriter& writer, std::string_view text, char quote)
{
    const int doubled = static_cast<unsigned char>(quote);
    put_translated(writer, doubled, text, doubled, doubled);
}

char* begin_line(TableWriter& writer, std::size_t bytes)
{
    // A buffer too small for a whole line (only tests choose one) grows once.
    if (writer.buffer.size() < bytes + 2) {
        flush(writer);
        writer.buffer.resize(bytes + 2);
    }
    return room_for(writer, bytes + 2);
}

char* append_quoted(char* out, std::string_view text, char quote)
{
    assert(text.find('\n') == std::string_view::npos);
    *out++ = quote;
    const void* first_quote = std::memchr(text.data(), quote, text.size());
    if (first_quote == nullptr) {
        std::memcpy(out, text.data(), text.size());
        out += text.size();
    } else {
        out = copy_translated(out, text, static_cast<unsigned char>(quote));
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

void put_byte(TableWriter& writer, char byte)
{
    char* out = room_for(writer, 2);
    if (byte == '\n') {
        *out++ = '\r';
        ++writer.used;
    }
    *out = byte;
    ++writer.used;
}

IoStatus close_table_writer(TableWriter& writer)
{
    if (writer.file.is_open()) {
        flush(writer);
    }
    IoStatus closed = writer.file.close();
    return writer.status.ok ? closed : writer.status;
}

IoStatus put_table_in_place(TableWriter& writer)
{
    return writer.files == nullptr ? IoStatus{} : put_new_table_in_place(*writer.files, writer.table, writer.written);
}

void discard_table(TableWriter& writer)
{
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
