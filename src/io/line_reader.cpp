#include "io/line_reader.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string_view>

#include "io/byte_marks.hpp"
#include "text/value_decoding.hpp"

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

constexpr std::array<char, 3> kStopBytes = {'\n', '\0', kEndOfFileByte};

bool refill(LineReader& reader)
{
    if (reader.at_end) {
        return false;
    }
    const std::span<char> room = std::span<char>(reader.chunk).first(reader.chunk.size() - kReadablePastPiece);
    ReadResult got = reader.file.read(room);
    if (!got.status.ok || got.count == 0) {
        reader.at_end = true;
        reader.status = std::move(got.status);
        return false;
    }
    reader.chunk_pos = 0;
    reader.chunk_end = got.count;
    mark_bytes(std::span<const char>(reader.chunk.data(), got.count), kStopBytes, reader.stops);
    return true;
}

// The position of the first line feed, zero byte or 0x1A in the chunk at
// or after its current position and before `limit`, or `limit`.
std::size_t next_stop(const LineReader& reader, std::size_t limit)
{
    std::size_t word = reader.chunk_pos / kBytesPerMarkWord;
    std::uint64_t marks = reader.stops[word] & (~std::uint64_t{0} << (reader.chunk_pos % kBytesPerMarkWord));
    while (marks == 0) {
        if (++word * kBytesPerMarkWord >= limit) {
            return limit;
        }
        marks = reader.stops[word];
    }
    return std::min(word * kBytesPerMarkWord + static_cast<std::size_t>(std::countr_zero(marks)), limit);
}

// The common case: the whole piece lies in the chunk, ends in LF or CR LF
// and holds no zero byte and no 0x1A. It is then used where it lies, its
// CR LF turned into LF in place. Returns false when the careful way must
// handle the piece.
bool take_piece_in_place(LineReader& reader)
{
    if (reader.chunk_pos == reader.chunk_end) {
        return false;
    }
    char* from = reader.chunk.data() + reader.chunk_pos;
    // One byte more than a piece holds, for a CR LF that becomes one LF.
    const std::size_t limit = std::min(reader.chunk_end, reader.chunk_pos + kMaxPieceBytes + 1);
    const std::size_t stop = next_stop(reader, limit);
    if (stop == limit || reader.chunk[stop] != '\n') {
        return false;
    }
    const std::size_t lf = stop - reader.chunk_pos;
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
        reader.copied[length + n] = from[n];
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
        reader.copied[length++] = byte;
        if (byte == '\n') {
            break;
        }
    }
    reader.text = reader.copied.data();
    reader.text_length = std::min(length, first_zero);
    reader.piece_ends_line = length > 0 && reader.copied[length - 1] == '\n';
    return length > 0;
}

// The logical line being joined in reader.copied: its length counts every
// byte joined, kept or not. What ends a physical line is looked at on the
// physical line joined last, in positions of the logical line.
struct Joining {
    std::size_t length = 0;
    std::size_t physical_start = 0;
    std::size_t last_solid = std::string_view::npos; // the last byte not a space, tab or CR
    char last_solid_byte = '\0';
    std::size_t end_before_crs = 0; // just past the last byte that is not a CR
};

void begin_physical_line(Joining& joining)
{
    joining.physical_start = joining.length;
    joining.last_solid = std::string_view::npos;
    joining.end_before_crs = joining.length;
}

bool is_blank_byte(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\r';
}

void join_bytes(LineReader& reader, Joining& joining, const char* bytes, std::size_t count)
{
    if (joining.length < kMaxLogicalLineBytes) {
        std::memcpy(reader.copied.data() + joining.length, bytes, std::min(count, kMaxLogicalLineBytes - joining.length));
    }
    for (std::size_t back = count; back > 0; --back) {
        if (bytes[back - 1] != '\r') {
            joining.end_before_crs = joining.length + back;
            break;
        }
    }
    for (std::size_t back = count; back > 0; --back) {
        if (!is_blank_byte(bytes[back - 1])) {
            joining.last_solid = joining.length + back - 1;
            joining.last_solid_byte = bytes[back - 1];
            break;
        }
    }
    joining.length += count;
}

// Joins the rest of the physical line at the reader's position, with the
// text-mode rules: CR LF ends it as LF would, 0x1A ends the file, and a
// zero byte ends its text, the rest of it being read past.
void join_physical_line(LineReader& reader, Joining& joining)
{
    bool text_ended = false;
    while (has_byte(reader)) {
        const std::size_t stop = next_stop(reader, reader.chunk_end);
        std::size_t run_end = stop;
        // A CR just before a line feed, or at the end of the chunk, is
        // taken on its own below.
        if (run_end > reader.chunk_pos && reader.chunk[run_end - 1] == '\r' &&
            (stop == reader.chunk_end || reader.chunk[stop] == '\n')) {
            --run_end;
        }
        if (!text_ended) {
            join_bytes(reader, joining, reader.chunk.data() + reader.chunk_pos, run_end - reader.chunk_pos);
        }
        reader.chunk_pos = run_end;
        if (reader.chunk_pos == reader.chunk_end) {
            continue;
        }
        const char byte = reader.chunk[reader.chunk_pos++];
        if (byte == '\r') {
            if (!(has_byte(reader) && reader.chunk[reader.chunk_pos] == '\n') && !text_ended) {
                join_bytes(reader, joining, &byte, 1);
            }
        } else if (byte == '\n') {
            return;
        } else if (byte == kEndOfFileByte) {
            end_file(reader);
            return;
        } else {
            text_ended = true; // a zero byte
        }
    }
}

// The logical line so far is quoted-printable and its last physical line
// ends, but for spaces, tabs and CRs, in a '=' after the line's colon.
bool ends_in_soft_break(const LineReader& reader, const Joining& joining)
{
    if (joining.last_solid == std::string_view::npos || joining.last_solid_byte != '=') {
        return false;
    }
    const std::string_view kept(reader.copied.data(), std::min(joining.length, kMaxLogicalLineBytes));
    const std::size_t colon = kept.find(':', 1);
    return colon != std::string_view::npos && joining.last_solid > colon &&
           holds_quoted_printable(kept.substr(0, colon));
}

// Joins the physical lines of one logical line in the reader's own buffer.
bool join_logical_line(LineReader& reader)
{
    if (!has_byte(reader)) {
        return false;
    }
    reader.line_number = reader.lines_begun + 1;
    Joining joining;
    for (;;) {
        ++reader.lines_begun;
        join_physical_line(reader, joining);
        if (!has_byte(reader)) {
            break;
        }
        if (ends_in_soft_break(reader, joining)) {
            joining.length = joining.last_solid;
        } else if (const char next = reader.chunk[reader.chunk_pos]; next == ' ' || next == '\t') {
            // The CRs before the line feed of a file with CR CR LF line ends
            // belong to the line end, not to the text that goes on.
            joining.length = joining.end_before_crs;
            ++reader.chunk_pos;
        } else {
            break;
        }
        begin_physical_line(joining);
    }
    reader.text = reader.copied.data();
    reader.text_length = std::min(joining.length, kMaxLogicalLineBytes);
    reader.line_cut = joining.length > kMaxLogicalLineBytes;
    return true;
}

// Ends in a '=', but for spaces, tabs and CRs: it may be a soft line break.
bool may_end_in_soft_break(std::string_view line)
{
    std::size_t end = line.size();
    while (end > 0 && is_blank_byte(line[end - 1])) {
        --end;
    }
    return end > 0 && line[end - 1] == '=';
}

// The common case: a physical line that lies whole in the chunk, fits the
// bytes that are kept, holds no zero byte and no 0x1A, may not end in a soft
// break, and is followed in the chunk by a line that does not continue it.
// It is then used where it lies. Returns false when the careful way must
// join the line.
bool take_logical_line_in_place(LineReader& reader)
{
    if (reader.chunk_pos == reader.chunk_end) {
        return false;
    }
    const std::size_t limit = std::min(reader.chunk_end, reader.chunk_pos + kMaxLogicalLineBytes + 2);
    const std::size_t stop = next_stop(reader, limit);
    if (stop + 1 >= reader.chunk_end || reader.chunk[stop] != '\n') {
        return false;
    }
    const char next = reader.chunk[stop + 1];
    if (next == ' ' || next == '\t') {
        return false;
    }
    const char* from = reader.chunk.data() + reader.chunk_pos;
    std::size_t length = stop - reader.chunk_pos;
    length -= length > 0 && from[length - 1] == '\r' ? 1 : 0;
    if (length > kMaxLogicalLineBytes || may_end_in_soft_break(std::string_view(from, length))) {
        return false;
    }
    reader.text = from;
    reader.text_length = length;
    reader.line_cut = false;
    reader.line_number = ++reader.lines_begun;
    reader.chunk_pos = stop + 1;
    return true;
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
    const std::size_t bytes = std::max<std::size_t>(chunk_bytes, 1);
    reader.chunk.assign(bytes + kReadablePastPiece, '\0');
    reader.copied.assign(std::max(kLineBufferBytes, kMaxLogicalLineBytes) + kReadablePastPiece, '\0');
    reader.stops.assign((bytes + kBytesPerMarkWord - 1) / kBytesPerMarkWord, 0);
    return {};
}

IoStatus read_ahead(LineReader& reader)
{
    has_byte(reader);
    return reader.status;
}

bool read_piece(LineReader& reader)
{
    return take_piece_in_place(reader) || copy_piece(reader);
}

bool read_logical_line(LineReader& reader)
{
    return take_logical_line_in_place(reader) || join_logical_line(reader);
}

IoStatus close_line_reader(LineReader& reader)
{
    IoStatus closed = reader.file.close();
    return reader.status.ok ? closed : reader.status;
}

} // namespace cardtab
