#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

#include "io/byte_marks.hpp"
#include "io/line_reader.hpp"

// The raw chunk a LineReader holds, which both ways of reading (pieces and
// logical lines) cut their texts from. For the line reader's own files only.
namespace cardtab {

// The text-mode rules, which both ways of reading apply to the chunk: a CR
// LF pair reads as the LF alone, any other CR is text; the byte 0x1A ends
// the file; a zero byte ends the text of what it stands in.
inline constexpr char kEndOfFileByte = '\x1A';
inline constexpr char kCarriageReturn = '\r';
inline constexpr char kLineFeed = '\n';

// Reads the next chunk and marks its stops; false at the end of the file,
// after 0x1A, or after a failed read.
bool refill_chunk(LineReader& reader);

inline bool has_byte(LineReader& reader)
{
    return reader.chunk_pos < reader.chunk_end || refill_chunk(reader);
}

// A CR just taken is the first of a CR LF pair: the next byte, read if need
// be, is a line feed.
inline bool line_feed_follows(LineReader& reader)
{
    return has_byte(reader) && reader.chunk[reader.chunk_pos] == kLineFeed;
}

// The byte before `at` in the chunk, from `from` on, is a CR.
inline bool carriage_return_before(const LineReader& reader, std::size_t from, std::size_t at)
{
    return at > from && reader.chunk[at - 1] == kCarriageReturn;
}

// The position of the first line feed, zero byte or 0x1A in the chunk at
// or after its current position and before `limit`, or `limit`.
inline std::size_t next_stop(const LineReader& reader, std::size_t limit)
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

// The bytes after a 0x1A that are worth a word: a DOS end-of-file mark is
// often followed by a line end, or by more marks.
inline std::uint64_t count_unread_text(const char* bytes, std::size_t count)
{
    std::uint64_t text = 0;
    for (std::size_t n = 0; n < count; ++n) {
        text += bytes[n] != '\r' && bytes[n] != '\n' && bytes[n] != '\x1A' ? 1 : 0;
    }
    return text;
}

// The byte 0x1A, just taken, ends the file as text: what follows it in the
// chunk, and in the rest of the file, is never read as text. It stands on
// the line counted last, or, `on_next_line`, on the one after.
inline void stop_at_eof_byte(LineReader& reader, bool on_next_line)
{
    reader.at_end = true;
    reader.eof_byte_line = reader.line_number + (on_next_line ? 1 : 0);
    reader.stopped_at_eof_byte = true;
    reader.bytes_after_eof_byte = count_unread_text(reader.chunk.data() + reader.chunk_pos,
                                                    reader.chunk_end - reader.chunk_pos);
    reader.chunk_pos = reader.chunk_end;
}

} // namespace cardtab
