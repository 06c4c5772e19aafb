#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "io/file_layer.hpp"
#include "io/owned_file.hpp"

namespace cardtab {

// A line is read into a buffer of 2,000 bytes, so one read delivers at most
// 1,999 bytes and a longer line arrives in pieces, each a line of its own.
inline constexpr std::size_t kLineBufferBytes = 2000;
inline constexpr std::size_t kMaxPieceBytes = kLineBufferBytes - 1;
inline constexpr std::size_t kReadChunkBytes = std::size_t{128} * 1024;

// Reads a file as text the same way on every platform: CR LF arrives as LF,
// any other CR passes, and the byte 0x1A ends the file. Each piece stops
// after its line feed, at the end of the file, or at 1,999 bytes.
struct LineReader {
    OwnedFile file;
    std::vector<char> chunk; // raw bytes as read, refilled in large reads
    std::size_t chunk_pos = 0;
    std::size_t chunk_end = 0;
    // Where the next zero byte and the next 0x1A lie in the chunk, found
    // once and kept until passed, so that most lines need no byte checks.
    std::size_t next_zero = 0;
    std::size_t next_end_byte = 0;
    bool at_end = false;     // end of file, 0x1A, or a failed read
    IoStatus status;         // the first failure; reading stops there
    // A piece that crosses chunks or needs changing is copied here; most
    // are used where they lie in the chunk.
    std::array<char, kLineBufferBytes> line{};
    // The current piece as a text, which a zero byte ends. Callers may
    // change its bytes in place.
    char* text = nullptr;
    std::size_t text_length = 0;
    // The piece ended at a line feed, even one that a zero byte hid: the
    // next piece starts a new line as a person counts lines.
    bool piece_ends_line = false;
};

IoStatus open_line_reader(LineReader& reader, FileLayer& files, std::string_view name,
                          std::size_t chunk_bytes = kReadChunkBytes);

// Fills the buffer now, so that a file that cannot be read (a folder, say)
// fails before anything has been written.
IoStatus read_ahead(LineReader& reader);

// Reads the next piece. False when the read delivers nothing: at the end of
// the file or after a failed read, which `reader.status` then tells. A piece
// whose first byte is zero is the empty text and does not end the file.
//
// The reader promises that the first kReadableFromText bytes from the start
// of the piece may be read, past its end too (they mean nothing there), so
// that a caller can compare whole words with it.
inline constexpr std::size_t kReadableFromText = 32;
static_assert(kLineBufferBytes >= kReadableFromText);
bool read_line(LineReader& reader);

inline std::string_view line_text(const LineReader& reader)
{
    return {reader.text, reader.text_length};
}

// Closes the file; returns the first failure of reading or of the close.
IoStatus close_line_reader(LineReader& reader);

} // namespace cardtab
