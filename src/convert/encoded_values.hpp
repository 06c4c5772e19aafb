#pragma once

#include <cstddef>
#include <string_view>

// What a run without decoding notices beside the scan: values taken as they
// stand that look encoded, so that the run can say how to decode them.
namespace cardtab {

struct EncodedValues {
    std::size_t count = 0;
    std::size_t first_line = 0;
    // Values taken from the line `pending_line` that look plain so far: the
    // next line may still show that it continues theirs.
    std::size_t pending = 0;
    std::size_t pending_line = 0;
    std::size_t last_line = 0;
};

// Each piece of the card file, with the line it belongs to as a person
// counts lines: a line that begins with a space or a tab continues the line
// before, so the values taken from that one were folded.
void note_piece(EncodedValues& seen, std::string_view text, std::size_t line_number);

// A line that gave `values` values, from the text after its colon: they
// are encoded when the line is quoted-printable (its prefix says so) or the
// text holds a backslash escape.
void note_values(EncodedValues& seen, std::string_view prefix, std::string_view value_text, std::size_t values,
                 std::size_t line_number);

} // namespace cardtab
