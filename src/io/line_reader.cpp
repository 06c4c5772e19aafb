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

// The window whose bytes decide how a file is read as text: its first
// bytes tell UTF-16 or UTF-32, and CRs in it with no line feed tell line
// ends of an old Mac.
constexpr std::size_t kTextWindowBytes = 4096;

// One read of the file after the text's bytes so far.
void read_more_text(LineReader& reader)
{
    TextRead& text = reader.text_read;
    ReadResult got = reader.file.read(std::span<char>(text.bytes.data() + text.end, text.bytes.size() - text.end));
    text.end += got.count;
    if (!got.status.ok || got.count == 0) {
        text.at_end = true;
        text.status = std::move(got.status);
    }
}

void read_window(LineReader& reader)
{
    TextRead& text = reader.text_read;
    text.bytes.resize(std::max(reader.largest_chunk, kTextWindowBytes));
    while (text.end < kTextWindowBytes && !text.at_end) {
        read_more_text(reader);
    }
}

void decide_text_form(LineReader& reader)
{
    TextRead& text = reader.text_read;
    read_window(reader);
    const std::string_view window(text.bytes.data(), std::min(text.end, kTextWindowBytes));
    reader.chunk_read = true;
    reader.opening_length = std::min(window.size(), reader.opening.size());
    std::copy_n(window.data(), reader.opening_length, reader.opening.begin());
    if (wide_form_of(window.substr(0, 4), text.wide)) {
        text.form = TextRead::Form::wide;
    } else if (window.find(kLineFeed) == std::string_view::npos &&
               window.find(kCarriageReturn) != std::string_view::npos) {
        text.form = TextRead::Form::cr_line_ends;
    } else {
        text.form = TextRead::Form::as_it_stands;
    }
}

// Wide text arrives as UTF-8, its bytes read a window at a time.
ReadResult read_wide(LineReader& reader, std::span<char> into)
{
    TextRead& text = reader.text_read;
    for (;;) {
        const std::string_view left(text.bytes.data() + text.pos, text.end - text.pos);
        const WideConverted converted = wide_to_utf8(left, text.wide, into, text.at_end);
        text.pos += converted.used;
        if (converted.written > 0 || (text.at_end && text.pos == text.end)) {
            return {converted.written, converted.written > 0 ? IoStatus{} : text.status};
        }
        // What is left is a unit cut short: it goes before the next bytes.
        std::memmove(text.bytes.data(), text.bytes.data() + text.pos, text.end - text.pos);
        text.end -= text.pos;
        text.pos = 0;
        read_more_text(reader);
    }
}

// Read as text: the window's bytes first, then the file's; CRs made line
// feeds where they end the lines.
ReadResult read_as_text(LineReader& reader, std::span<char> into)
{
    TextRead& text = reader.text_read;
    if (text.form == TextRead::Form::undecided) {
        decide_text_form(reader);
    }
    if (text.form == TextRead::Form::wide) {
        return read_wide(reader, into);
    }
    ReadResult got;
    if (text.pos < text.end) {
        got.count = std::min(into.size(), text.end - text.pos);
        std::memcpy(into.data(), text.bytes.data() + text.pos, got.count);
        text.pos += got.count;
    } else if (text.at_end) {
        got.status = text.status;
    } else {
        got = reader.file.read(into);
    }
    if (text.form == TextRead::Form::cr_line_ends) {
        std::replace(into.data(), into.data() + got.count, kCarriageReturn, kLineFeed);
    }
    return got;
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
    const std::span<char> room(reader.chunk.data() + kept, reader.chunk.capacity() - kept);
    ReadResult got = reader.reads_as_text ? read_as_text(reader, room) : reader.file.read(room);
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
    next.reads_as_text = reader.reads_as_text;
    next.text_read.bytes = std::move(reader.text_read.bytes);
    reader = std::move(next);
    return {};
}

ReadResult read_on(LineReader& reader, std::span<char> into)
{
    const std::string_view ahead = bytes_ahead(reader);
    if (!ahead.empty()) {
        const std::size_t count = std::min(ahead.size(), into.size());
        std::memcpy(into.data(), ahead.data(), count);
        reader.chunk_pos += count;
        return {count, {}};
    }
    if (reader.at_end) {
        return {0, reader.status};
    }
    ReadResult got = reader.reads_as_text ? read_as_text(reader, into) : reader.file.read(into);
    if (!got.status.ok || got.count == 0) {
        reader.at_end = true;
        reader.status = got.status;
    }
    return got;
}

void put_bytes_ahead(LineReader& reader, PaddedBuffer& bytes, std::size_t count)
{
    // Bytes the reader holds unread go on after them. Where all fit in
    // the reader's buffer they are copied there, and each keeps its own.
    const std::string_view ahead = bytes_ahead(reader);
    const std::size_t total = count + ahead.size();
    if (total <= reader.chunk.capacity()) {
        std::memmove(reader.chunk.data() + count, ahead.data(), ahead.size());
        std::memcpy(reader.chunk.data(), bytes.data(), count);
    } else {
        if (bytes.capacity() < total) {
            PaddedBuffer larger(total);
            std::memcpy(larger.data(), bytes.data(), count);
            bytes = std::move(larger);
        }
        std::memcpy(bytes.data() + count, ahead.data(), ahead.size());
        std::swap(reader.chunk, bytes);
    }
    reader.chunk_pos = 0;
    reader.chunk_end = total;
    reader.chunk_filled = false;
    reader.stops.resize((reader.chunk.capacity() + kBytesPerMarkWord - 1) / kBytesPerMarkWord);
    mark_bytes(std::span<const char>(reader.chunk.data(), reader.chunk_end), kStopBytes, reader.stops);
    reader.piece_ends_line = true;
}

bool holds_end_of_file_byte(std::string_view bytes)
{
    return bytes.find(kEndOfFileByte) != std::string_view::npos;
}

void read_bytes_alone(LineReader& reader, PaddedBuffer& bytes, std::size_t count)
{
    LineReader next;
    next.copied = std::move(reader.copied);
    if (next.copied.capacity() < kLineBufferBytes) {
        next.copied.assign(kLineBufferBytes);
    }
    next.chunk = std::move(reader.chunk);
    next.stops = std::move(reader.stops);
    next.at_end = true;
    next.chunk_read = true;
    reader = std::move(next);
    put_bytes_ahead(reader, bytes, count);
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
    WideForm form = WideForm::utf16_little;
    if (wide_form_of(opening, form)) {
        return form == WideForm::utf32_little || form == WideForm::utf32_big ? WideText::utf32 : WideText::utf16;
    }
    // A file of a byte order mark and little else.
    return opening.starts_with("\xFF\xFE") || opening.starts_with("\xFE\xFF") ? WideText::utf16 : WideText::none;
}

std::uint64_t count_bytes_after_eof_byte(LineReader& reader)
{
    if (!reader.stopped_at_eof_byte) {
        return 0;
    }
    for (;;) {
        const std::span<char> room(reader.chunk.data(), reader.chunk.capacity());
        const ReadResult got = reader.reads_as_text ? read_as_text(reader, room) : reader.file.read(room);
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
