#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "io/file_layer.hpp"
#include "text/wide_text.hpp"
#include "io/owned_file.hpp"
#include "text/padded_text.hpp"

namespace cardtab {

// A line is read into a buffer of 2,000 bytes, so one read delivers at most
// 1,999 bytes and a longer line arrives in pieces, each taken as a line of
// its own.
inline constexpr std::size_t kLineBufferBytes = 2000;
inline constexpr std::size_t kMaxPieceBytes = kLineBufferBytes - 1;
inline constexpr std::size_t kReadChunkBytes = std::size_t{64} * 1024;
// Enough to look a few bytes into the next line, whatever chunk is asked
// for.
inline constexpr std::size_t kMinReadChunkBytes = 16;
// A chunk starts at this size and doubles while reads fill it, up to the
// size asked: a small file costs little memory, a large one few reads.
inline constexpr std::size_t kFirstReadChunkBytes = 4096;

// Reads a file as text the same way on every platform: CR LF arrives as LF,
// any other CR passes, and the byte 0x1A ends the file. It hands out either
// pieces, each of which stops after its line feed, at the end of the file
// or at 1,999 bytes; or whole physical lines of any length, run by run, for
// a caller that joins them as it sees fit.
// How a reader that reads as text takes the file: the bytes of its first
// window, read to decide, are handed on from here.
struct TextRead {
    enum class Form { undecided, as_it_stands, cr_line_ends, wide };
    Form form = Form::undecided;
    WideForm wide = WideForm::utf16_little;
    std::vector<char> bytes;
    std::size_t pos = 0;
    std::size_t end = 0;
    bool at_end = false; // the file gave all it had, or failed
    IoStatus status;
};

struct LineReader {
    OwnedFile file;
    // Raw bytes as read, refilled in large reads. Every piece and run lies
    // in a padded buffer, so its callers may read past its end.
    PaddedBuffer chunk;
    std::size_t chunk_pos = 0;
    std::size_t chunk_end = 0;
    std::size_t largest_chunk = kReadChunkBytes;
    bool chunk_filled = false; // the last read filled the chunk
    // One bit for each line feed, zero byte and 0x1A in the chunk, marked
    // once a refill, so that most pieces need no look at their bytes.
    std::vector<std::uint64_t> stops;
    bool at_end = false;     // end of file, 0x1A, or a failed read
    IoStatus status;         // the first failure; reading stops there
    // The first bytes of the file as they are, which tell a UTF-16 or
    // UTF-32 file by its byte order mark.
    std::array<char, 4> opening{};
    std::size_t opening_length = 0;
    bool chunk_read = false;
    // The file went on after a 0x1A, which ends it as text: the bytes after
    // it so far read, but CRs, LFs and more 0x1A bytes, and the line it
    // stands on.
    bool stopped_at_eof_byte = false;
    std::uint64_t bytes_after_eof_byte = 0;
    std::size_t eof_byte_line = 0;
    // A piece that crosses chunks or needs changing is copied here; most
    // are used where they lie in the chunk. Read in physical lines, it holds
    // only a CR that ended a chunk and was no line end. It is not part of the
    // record itself: a reader kept on the stack stays small, and its fields
    // do not share their low address bits with the caller's.
    PaddedBuffer copied;
    // The current piece as a text, which a zero byte ends.
    const char* text = nullptr;
    std::size_t text_length = 0;
    // The line the current piece or physical line is on, as a person counts
    // lines: a line longer than a piece is still one.
    std::size_t line_number = 0;
    // The current piece begins its line: the one before ended at a line
    // feed, even one that a zero byte hid.
    bool piece_begins_line = false;
    bool piece_ends_line = true;
    // Read in physical lines: whether a zero byte has ended the text of the
    // current one.
    bool line_text_ended = false;
    bool line_ended = false; // the run read last ended its line
    // Decoding reads a file in UTF-16 or UTF-32 as the same text in UTF-8,
    // and a file whose lines end in CR alone with its CRs as line feeds
    // (set before the first read, which decides).
    bool reads_as_text = false;
    TextRead text_read;
};

IoStatus open_line_reader(LineReader& reader, FileLayer& files, std::string_view name,
                          std::size_t chunk_bytes = kReadChunkBytes);

// Opens the next file in a reader whose file is closed, as if it were
// new, but keeping the buffers it has.
IoStatus reopen_line_reader(LineReader& reader, FileLayer& files, std::string_view name);

// Fills the buffer now, so that a file that cannot be read (a folder, say)
// fails before anything has been written.
IoStatus read_ahead(LineReader& reader);

// Reads the next piece. False when the read delivers nothing: at the end of
// the file or after a failed read, which `reader.status` then tells. A piece
// whose first byte is zero is the empty text and does not end the file.
bool read_piece(LineReader& reader);

// Begins the next physical line: false at the end of the file, after a
// failed read, or at a 0x1A, which ends the file even at a line's start.
bool begin_physical_line(LineReader& reader);

// The next run of the current physical line's text, as it lies in the read
// buffer: valid until the next call. The text-mode rules hold: the line
// ends at its line feed, at a CR LF, at the end of the file or at a 0x1A;
// other CRs are text; a zero byte ends the text, and the rest of the line
// is read past. `reader.line_ended` is set with the line's last run, which
// may be empty. (The run comes back alone, in registers: stored with a flag
// and read back at once, it would stall the processor on every line.)
PaddedText read_line_run(LineReader& reader);

// For a caller that cuts the file into parts of its own: the bytes the
// reader holds unread, then the file's, as the reader would take them (as
// text where it reads as text). A count of 0 ends the file, or, where the
// status tells, a failure; the reader then ends there too.
ReadResult read_on(LineReader& reader, std::span<char> into);

// Makes the first `count` bytes of `bytes` the next the reader takes, at
// the start of a line, before those it holds unread; the buffer they
// replace comes back in `bytes`. After them the reader reads its file on.
void put_bytes_ahead(LineReader& reader, PaddedBuffer& bytes, std::size_t count);

// The bytes hold a 0x1A, which ends the file as text where it stands.
bool holds_end_of_file_byte(std::string_view bytes);

// Makes the reader read the first `count` bytes of `bytes` as a file of
// their own that ends with them, keeping its buffers.
void read_bytes_alone(LineReader& reader, PaddedBuffer& bytes, std::size_t count);

// The bytes already read that follow the reader's position, without a
// read: empty where the next byte has yet to be read.
inline std::string_view bytes_ahead(const LineReader& reader)
{
    return {reader.chunk.data() + reader.chunk_pos, reader.chunk_end - reader.chunk_pos};
}

// At least `count` bytes ahead (at most the chunk's size), read if need be
// and where the file has them. Texts and runs handed out before are no
// longer valid: the bytes ahead may have moved.
std::string_view peek_ahead(LineReader& reader, std::size_t count);

// The piece read last.
inline std::string_view current_text(const LineReader& reader)
{
    return {reader.text, reader.text_length};
}

// The same, as a text that may be read past its end.
inline PaddedText current_padded_text(const LineReader& reader)
{
    return reader.text == reader.copied.data()
               ? reader.copied.text(0, reader.text_length)
               : reader.chunk.text(static_cast<std::size_t>(reader.text - reader.chunk.data()), reader.text_length);
}

enum class WideText {
    none,
    utf16,
    utf32,
};

// The encoding a byte order mark at the start of the file names, where it
// names one that no line of text can be read in.
WideText wide_text_of(const LineReader& reader);

// After a 0x1A stopped the reading: the number of bytes after it other than
// CR, LF and 0x1A, all read now to count them. Nothing else is done with
// them.
std::uint64_t count_bytes_after_eof_byte(LineReader& reader);

// Closes the file; returns the first failure of reading or of the close.
IoStatus close_line_reader(LineReader& reader);

} // namespace cardtab
