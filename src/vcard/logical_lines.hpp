#pragma once

#include <cstddef>
#include <string_view>

#include "io/line_reader.hpp"

// A card file read as vCard writes it: physical lines joined into logical
// lines, continued lines and quoted-printable soft line breaks undone.
namespace cardtab {

// Only the first 4,096 bytes of a logical line are kept: the rest is read
// past, so that a photo of many megabytes costs no memory.
inline constexpr std::size_t kMaxLogicalLineBytes = 4096;

struct LogicalLines {
    // A line that cannot be used where it lies is joined here.
    PaddedBuffer joined = PaddedBuffer(kMaxLogicalLineBytes);
    // The current logical line, without its line end.
    PaddedText text;
    // The line was longer than the bytes of it that are kept.
    bool cut = false;
    // The line of the file on which it begins.
    std::size_t line_number = 0;
};

// Reads the next logical line. A physical line that begins with a space or
// a tab continues the line before it, without that byte; so does
// any line after one that ends in a '=' of a quoted-printable value (a soft
// line break), without the '='. False at the end of the file or after a
// failed read.
bool read_logical_line(LineReader& reader, LogicalLines& lines);

} // namespace cardtab
