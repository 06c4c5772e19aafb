#include "io/line_reader.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "io/byte_marks.hpp"
#include "io/read_chunk.hpp"

namespace cardtab {

namespace {

// The bytes that stop the plain copy loop.
constexpr std::array<bool, 256> kSpecialBytes = [] {
    std::array<bool, 256> special{};
    special[kLineFeed] = true;
    special[kCarriageReturn] = true;
    special['\0'] = true;
    special[static_cast<unsigned char>(kEndOfFileByte)] = true;
    return special;
}();

constexpr std::array<char, 3> kStopBytes = {kLineFeed, '\0', kEndOfFileByte};

// The common case: the whole piece lies in the chunk, ends in LF or CR LF
// and holds no zero byte and no 0x1A. It is then used where it lies, its
// CR LF turned into LF in place. Returns false when the careful way must
// handle the piece.
bool take_piece_where_it_lies(LineReader& reader)
{
    if (reader.chunk_pos == reader.chunk_end) {
        return false;
    }
    char* from = reader.chunk.data() + reader.chunk_pos;
    // One byte more than a piece holds, for a CR LF that becomes one LF.
    const std::size_t limit = std::min(reader.chunk_end, reader.chunk_pos + kMaxPieceBytes + 1);
    const std::size_t stop = next_stop(reader, limit);
    if (stop == limit || reader.chunk[stop] != kLineFeed) {
        return false;
    }
    const std::size_t lf = stop - reader.chunk_pos;
    const bool cr_lf = carriage_return_before(reader, reader.chunk_pos, stop);
    const std::size_t length = cr_lf ? lf : lf + 1;
    if (length > kMaxPieceBytes) {
        return false;
    }
    if (cr_lf) {
        from[lf - 1] = kLineFeed;
    }
    reader.text = from;
    reader.text_length = length;
    reader.piece_ends_line = true;
    reader.chunk_pos += lf + 1;
    return true;
}

// Copies bytes up to the next special one, the end of the buffered chunk or
// the end of the piece; returns the new piece length.
std::size_t copy_plain_bytes(LineReader& reader, std::size_t length)
{
    const char* from = reader.chunk.data() + reader.chunk_pos;
    const std::size_t room = std::min(reader.chunk_end - reader.chunk_pos, kMaxPieceBytes - length);
    std::size_t n = 0;
    while (n < room && !kSpecialBytes[static_cast<unsigned char>(from[n])]) {
        reader.copied[length + n] = from[n];
        ++n;
    }
    reader.chunk_pos += n;
    return length + n;
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
            stop_at_eof_byte(reader, reader.piece_ends_line);
            break;
        }
        if (byte == kCarriageReturn && line_feed_follows(reader)) {
            continue; // CR LF arrives as the LF alone, taken on the next turn
        }
        if (byte == '\0' && first_zero == kLineBufferBytes) {
            first_zero = length;
        }
        reader.copied[length++] = byte;
        if (byte == kLineFeed) {
            break;
        }
    }
    reader.text = reader.copied.data();
    reader.text_length = std::min(length, first_zero);
    reader.piece_ends_line = length > 0 && reader.copied[length - 1] == kLineFeed;
    return length > 0;
}

// A chunk that reads keep filling is doubled, what it holds kept.
void grow_chunk(LineReader& reader)
{
    const std::size_t bytes = std::min(2 * reader.chunk.capacity(), reader.largest_chunk);
    PaddedBuffer larger(bytes);
    std::memcpy(larger.data(), reader.chunk.data(), reader.chunk_end);
    reader.chunk = std::move(larger);
    reader.stops.assign((bytes + kBytesPerMarkWord - 1) / kBytesPerMarkWord, 0);
}

} // namespace

bool refill_chunk(LineReader& reader)
{
    if (reader.at_end) {
        return false;
    }
    // What is not taken yet moves to the start, where a peek ahead wants it
    // beside what is read next.
    const std::size_t kept = reader.chunk_end - reader.chunk_pos;
    std::memmove(reader.chunk.data(), reader.chunk.data() + reader.chunk_pos, kept);
    reader.chunk_pos = 0;
    reader.chunk_end = kept;
    if (reader.chunk_filled && reader.chunk.capacity() < reader.largest_chunk) {
        grow_chunk(reader);
    }
    ReadResult got = reader.file.read(std::span<char>(reader.chunk.data() + kept, reader.chunk.capacity() - kept));
    if (!got.status.ok || got.count == 0) {
        reader.at_end = true;
        reader.status = std::move(got.status);
    } else {
        reader.chunk_end += got.count;
    }
    reader.chunk_filled = reader.chunk_end == reader.chunk.capacity();
    if (!reader.chunk_read && reader.chunk_end > 0) {
        reader.chunk_read = true;
        reader.opening_length = std::min(reader.chunk_end, reader.opening.size());
        std::copy_n(reader.chunk.data(), reader.opening_length, reader.opening.begin());
    }
    mark_bytes(std::span<const char>(reader.chunk.data(), reader.chunk_end), kStopBytes, reader.stops);
    return reader.chunk_end > kept;
}

std::string_view peek_ahead(LineReader& reader, std::size_t count)
{
    while (reader.chunk_end - reader.chunk_pos < std::min(count, reader.chunk.capacity()) && refill_chunk(reader)) {
    }
    return bytes_ahead(reader);
}

IoStatus open_line_reader(LineReader& reader, FileLayer& files, std::string_view name,
                          std::size_t chunk_bytes)
{
    OpenResult opened = files.open_for_reading(name);
    if (!opened.status.ok) {
        return opened.status;
    }
    reader.file = OwnedFile(files, opened.file);
    reader.largest_chunk = std::max(chunk_bytes, kMinReadChunkBytes);
    const std::size_t bytes = std::min(reader.largest_chunk, kFirstReadChunkBytes);
    reader.chunk.assign(bytes);
    reader.copied.assign(kLineBufferBytes);
    reader.stops.assign((bytes + kBytesPerMarkWord - 1) / kBytesPerMarkWord, 0);
    return {};
}

IoStatus reopen_line_reader(LineReader& reader, FileLayer& files, std::string_view name)
{
    OpenResult opened = files.open_for_reading(name);
    if (!opened.status.ok) {
        return opened.status;
    }
    LineReader next;
    next.file = OwnedFile(files, opened.file);
    next.largest_chunk = reader.largest_chunk;
    next.chunk = std::move(reader.chunk);
    next.stops = std::move(reader.stops);
    next.copied = std::move(reader.copied);
    reader = std::move(next);
    return {};
}

IoStatus read_ahead(LineReader& reader)
{
    has_byte(reader);
    return reader.status;
}

bool read_piece(LineReader& reader)
{
    const bool begins_line = reader.piece_ends_line;
    if (!take_piece_where_it_lies(reader) && !copy_piece(reader)) {
        return false;
    }
    reader.piece_begins_line = begins_line;
    reader.line_number += begins_line ? 1 : 0;
    return true;
}

WideText wide_text_of(const LineReader& reader)
{
    const std::string_view opening(reader.opening.data(), reader.opening_length);
    if (opening == std::string_view("\xFF\xFE\0\0", 4) || opening == std::string_view("\0\0\xFE\xFF", 4)) {
        return WideText::utf32;
    }
    if (opening.starts_with("\xFF\xFE") || opening.starts_with("\xFE\xFF")) {
        return WideText::utf16;
    }
    // Without a byte order mark, text of ASCII letters in UTF-16 or UTF-32
    // has a zero byte in every second or fourth place.
    if (opening.size() == 4 && (opening[0] == '\0') != (opening[1] == '\0') &&
        (opening[2] == '\0') == (opening[0] == '\0') && (opening[3] == '\0') == (opening[1] == '\0')) {
        return WideText::utf16;
    }
    const auto zeros = static_cast<std::size_t>(std::count(opening.begin(), opening.end(), '\0'));
    return opening.size() == 4 && zeros == 3 ? WideText::utf32 : WideText::none;
}

std::uint64_t count_bytes_after_eof_byte(LineReader& reader)
{
    if (!reader.stopped_at_eof_byte) {
        return 0;
    }
    for (;;) {
        const ReadResult got = reader.file.read(std::span<char>(reader.chunk.data(), reader.chunk.capacity()));
        if (!got.status.ok || got.count == 0) {
            return reader.bytes_after_eof_byte;
        }
        reader.bytes_after_eof_byte += count_unread_text(reader.chunk.data(), got.count);
    }
}

IoStatus close_line_reader(LineReader& reader)
{
    IoStatus closed = reader.file.close();
    return reader.status.ok ? closed : reader.status;
}

} // namespace cardtab
