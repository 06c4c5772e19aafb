#include "io/line_reader.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "io/read_chunk.hpp"
#include "text/value_decoding.hpp"

// A card file read as vCard writes it: physical lines joined into logical
// lines, folded lines and quoted-printable soft line breaks undone.
namespace cardtab {

namespace {

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
            stop_at_eof_byte(reader);
            reader.eof_byte_line = reader.lines_begun;
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

// Whether another physical line follows: not at the end of the file, nor
// at a 0x1A, which ends the file as text even at the start of a line.
bool another_line_follows(LineReader& reader)
{
    if (!has_byte(reader)) {
        return false;
    }
    if (reader.chunk[reader.chunk_pos] == kEndOfFileByte) {
        ++reader.chunk_pos;
        stop_at_eof_byte(reader);
        reader.eof_byte_line = reader.lines_begun + 1;
        return false;
    }
    return true;
}

// Joins the physical lines of one logical line in the reader's own buffer.
bool join_logical_line(LineReader& reader)
{
    if (!another_line_follows(reader)) {
        return false;
    }
    reader.line_number = reader.lines_begun + 1;
    Joining joining;
    for (;;) {
        ++reader.lines_begun;
        join_physical_line(reader, joining);
        if (!another_line_follows(reader)) {
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

bool read_logical_line(LineReader& reader)
{
    return take_logical_line_in_place(reader) || join_logical_line(reader);
}

} // namespace cardtab
