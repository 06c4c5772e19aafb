#include "io/line_reader.hpp"

#include <algorithm>
#include <array>
#include <cstring>

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

// The first `byte` in the chunk at or after its current position, or the
// chunk's end.
std::size_t find_in_chunk(const LineReader& reader, char byte)
{
    const char* from = reader.chunk.data() + reader.chunk_pos;
    const void* found = std::memchr(from, byte, reader.chunk_end - reader.chunk_pos);
    if (found == nullptr) {
        return reader.chunk_end;
    }
    return static_cast<std::size_t>(static_cast<const char*>(found) - reader.chunk.data());
}

bool refill(LineReader& reader)
{
    if (reader.at_end) {
        return false;
    }
    const std::span<char> room = std::span<char>(reader.chunk).first(reader.chunk.size() - kReadableFromText);
    ReadResult got = reader.file.read(room);
    if (!got.status.ok || got.count == 0) {
        reader.at_end = true;
        reader.status = std::move(got.status);
        return false;
    }
    reader.chunk_pos = 0;
    reader.chunk_end = got.count;
    reader.next_zero = find_in_chunk(reader, '\0');
    reader.next_end_byte = find_in_chunk(reader, kEndOfFileByte);
    return true;
}

// The position of the first zero byte or 0x1A still ahead in the chunk.
std::size_t next_special_byte(LineReader& reader)
{
    if (reader.next_zero < reader.chunk_pos) {
        reader.next_zero = find_in_chunk(reader, '\0');
    }
    if (reader.next_end_byte < reader.chunk_pos) {
        reader.next_end_byte = find_in_chunk(reader, kEndOfFileByte);
    }
    return std::min(reader.next_zero, reader.next_end_byte);
}

// The common case: the whole piece lies in the chunk, ends in LF or CR LF
// and holds no zero byte and no 0x1A. It is then used where it lies, its
// CR LF turned into LF in place. Returns false when the careful way must
// handle the piece.
bool take_piece_in_place(LineReader& reader)
{
    char* from = reader.chunk.data() + reader.chunk_pos;
    // One byte more than a piece holds, for a CR LF that becomes one LF.
    const std::size_t window = std::min(reader.chunk_end - reader.chunk_pos, kMaxPieceBytes + 1);
    const void* found = std::memchr(from, '\n', window);
    if (found == nullptr) {
        return false;
    }
    const auto lf = static_cast<std::size_t>(static_cast<const char*>(found) - from);
    if (reader.chunk_pos + lf > next_special_byte(reader)) {
        return false;
    }
    const bool cr_lf = lf > 0 && from[lf - 1] == '\r';
    const std::size_t length = cr_lf ? lf : lf + 1;
    if (length > kMaxPieceBytes) {
        return false;
    }
    if (cr_lf) {
        from[lf - 1] = '\n';
    }
    reader.text = from;
    reader.text_length = length;
    reader.piece_ends_line = true;
    reader.chunk_pos += lf + 1;
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

// Copies the piece byte by byte into the reader's own buffer, applying
// every text-mode rule.
bool copy_piece(LineReader& reader)
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
    reader.text = reader.line.data();
    reader.text_length = std::min(length, first_zero);
    reader.piece_ends_line = length > 0 && reader.line[length - 1] == '\n';
    return length > 0;
}

} // namespace

IoStatus open_line_reader(LineReader& reader, FileLayer& files, std::string_view name,
                          std::size_t chunk_bytes)
{
    OpenResult opened = files.open_for_reading(name);
    if (!opened.status.ok) {
        return opened.status;
    }
    reader.file = OwnedFile(files, opened.file);
    reader.chunk.assign(std::max<std::size_t>(chunk_bytes, 1) + kReadableFromText, '\0');
    return {};
}

IoStatus read_ahead(LineReader& reader)
{
    has_byte(reader);
    return reader.status;
}

bool read_line(LineReader& reader)
{
    return take_piece_in_place(reader) || copy_piece(reader);
}

IoStatus close_line_reader(LineReader& reader)
{
    IoStatus closed = reader.file.close();
    return reader.status.ok ? closed : reader.status;
}

} // namespace cardtab
