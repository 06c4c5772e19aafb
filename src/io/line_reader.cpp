#include "io/line_reader.hpp"

#include <algorithm>
#include <array>

namespace cardtab {

namespace {

constexpr char kEndOfFileByte = '\x1A';

// The bytes that stop the plain copy loop.
constexpr std::array<bool, 256> kSpecialBytes = [] {
    std::array<bool, 256> special{};
    special['\n'] = true;
    special['\r'] = true;
    special['\0'] = true;
    special[static_cast<unsigned char>(kEndOfFileByte)] = true;
    return special;
}();

bool refill(LineReader& reader)
{
    if (reader.at_end) {
        return false;
    }
    ReadResult got = reader.files->read(reader.file, reader.chunk);
    if (!got.status.ok || got.count == 0) {
        reader.at_end = true;
        reader.status = std::move(got.status);
        return false;
    }
    reader.chunk_pos = 0;
    reader.chunk_end = got.count;
    return true;
}

bool has_byte(LineReader& reader)
{
    return reader.chunk_pos < reader.chunk_end || refill(reader);
}

// Copies bytes up to the next special one, the end of the buffered chunk or
// the end of the piece; returns the new piece length.
std::size_t copy_plain_bytes(LineReader& reader, std::size_t length)
{
    const char* from = reader.chunk.data() + reader.chunk_pos;
    const std::size_t room = std::min(reader.chunk_end - reader.chunk_pos, kMaxPieceBytes - length);
    std::size_t n = 0;
    while (n < room && !kSpecialBytes[static_cast<unsigned char>(from[n])]) {
        reader.line[length + n] = from[n];
        ++n;
    }
    reader.chunk_pos += n;
    return length + n;
}

void end_file(LineReader& reader)
{
    reader.at_end = true;
    reader.chunk_pos = reader.chunk_end;
}

} // namespace

IoStatus open_line_reader(LineReader& reader, FileLayer& files, std::string_view name,
                          std::size_t chunk_bytes)
{
    OpenResult opened = files.open_for_reading(name);
    if (!opened.status.ok) {
        return opened.status;
    }
    reader.files = &files;
    reader.file = opened.file;
    reader.chunk.assign(std::max<std::size_t>(chunk_bytes, 1), '\0');
    return {};
}

IoStatus read_ahead(LineReader& reader)
{
    has_byte(reader);
    return reader.status;
}

bool read_line(LineReader& reader)
{
    std::size_t length = 0;
    std::size_t first_zero = kLineBufferBytes;
    while (length < kMaxPieceBytes && has_byte(reader)) {
        length = copy_plain_bytes(reader, length);
        if (length == kMaxPieceBytes || reader.chunk_pos == reader.chunk_end) {
            continue;
        }
        const char byte = reader.chunk[reader.chunk_pos++];
        if (byte == kEndOfFileByte) {
            end_file(reader);
            break;
        }
        if (byte == '\r' && has_byte(reader) && reader.chunk[reader.chunk_pos] == '\n') {
            continue; // CR LF arrives as the LF alone, taken on the next turn
        }
        if (byte == '\0' && first_zero == kLineBufferBytes) {
            first_zero = length;
        }
        reader.line[length++] = byte;
        if (byte == '\n') {
            break;
        }
    }
    reader.text_length = std::min(length, first_zero);
    return length > 0;
}

IoStatus close_line_reader(LineReader& reader)
{
    if (reader.files == nullptr) {
        return reader.status;
    }
    IoStatus closed = reader.files->close(reader.file);
    reader.files = nullptr;
    if (!reader.status.ok) {
        return reader.status;
    }
    return closed;
}

} // namespace cardtab
