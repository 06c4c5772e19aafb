#include <string_view>

#include "io/line_reader.hpp"
#include "io/read_chunk.hpp"

// Whole physical lines of any length, handed out a run at a time as they
// lie in the read buffer, with the text-mode rules applied.
namespace cardtab {

namespace {

// The empty run that ends the current line.
PaddedText last_run_of_line(LineReader& reader)
{
    reader.line_ended = true;
    return {};
}

// A CR that ended a chunk and turned out to be no line end, handed out as a
// run of its own. The chunk it stood in may be refilled by now: it is
// written to the buffer for copied pieces, which physical lines never use.
PaddedText lone_cr(LineReader& reader)
{
    reader.copied[0] = kCarriageReturn;
    return reader.copied.text(0, 1);
}

// The byte at the reader's position is a zero byte, a 0x1A or a CR that
// ended the chunk; takes it.
PaddedText take_stop_byte(LineReader& reader)
{
    const char byte = reader.chunk[reader.chunk_pos++];
    if (byte == kEndOfFileByte) {
        stop_at_eof_byte(reader, false);
        return last_run_of_line(reader);
    }
    if (byte == '\0') {
        reader.line_text_ended = true;
        return {};
    }
    // A CR at the end of a chunk: a line end if a line feed follows it.
    if (line_feed_follows(reader)) {
        ++reader.chunk_pos;
        return last_run_of_line(reader);
    }
    return lone_cr(reader);
}

} // namespace

bool begin_physical_line(LineReader& reader)
{
    if (!has_byte(reader)) {
        return false;
    }
    if (reader.chunk[reader.chunk_pos] == kEndOfFileByte) {
        ++reader.chunk_pos;
        stop_at_eof_byte(reader, true);
        return false;
    }
    ++reader.line_number;
    reader.line_text_ended = false;
    reader.line_ended = false;
    return true;
}

PaddedText read_line_run(LineReader& reader)
{
    for (;;) {
        if (!has_byte(reader)) {
            return last_run_of_line(reader);
        }
        const std::size_t start = reader.chunk_pos;
        const std::size_t stop = next_stop(reader, reader.chunk_end);
        const bool at_line_feed = stop < reader.chunk_end && reader.chunk[stop] == kLineFeed;
        std::size_t end = stop;
        // A CR before the line feed is part of the line end; one at the end
        // of the chunk waits until the next byte is read.
        if (carriage_return_before(reader, start, end) && (at_line_feed || stop == reader.chunk_end)) {
            --end;
        }
        PaddedText run;
        if (end > start) {
            run = reader.chunk.text(start, end - start);
            reader.chunk_pos = end;
        } else if (!at_line_feed) {
            run = take_stop_byte(reader);
        }
        if (at_line_feed && reader.chunk_pos + 1 >= stop) {
            reader.chunk_pos = stop + 1;
            reader.line_ended = true;
        }
        if (reader.line_text_ended) {
            run = {};
        }
        if (!run.empty() || reader.line_ended) {
            return run;
        }
    }
}

} // namespace cardtab
