#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/records.hpp"
#include "convert/card_values.hpp"
#include "io/line_reader.hpp"
#include "io/table_writer.hpp"

namespace cardtab {

// What a scan saw that the run may have to say.
struct CardsSeen {
    WideText wide_text = WideText::none; // no line of the file can match
    std::size_t card_ends = 0;           // lines beginning "END:"
    std::size_t rows = 0;
    // Required columns filled at some card's end, and never.
    ColumnSet required_ever_filled = 0;
    ColumnSet required_never_filled = 0;
    // Columns that some line of the file matched.
    ColumnSet columns_taken = 0;
    // Values written cut at their capacity, losing more than blanks, and
    // the first of them.
    std::size_t cut_values = 0;
    std::size_t first_cut_column = 0;
    std::size_t first_cut_line = 0;
    // The line holding a 0x1A that ended the file early, or 0.
    std::size_t eof_byte_line = 0;
    // Values taken as they stand that look encoded: quoted-printable,
    // escaped, or continued on the next line. Never counted when decoding.
    std::size_t encoded_values = 0;
    std::size_t first_encoded_line = 0;
    // Lines that a column would take when decoding, but not by its prefix
    // (grouped, or in lower case). Never counted when decoding.
    std::size_t properties_not_taken = 0;
    std::size_t first_property_not_taken_line = 0;
    // Decoding: lines that named a character set this program does not
    // know, the first such set and how many there were.
    std::size_t unknown_charset_lines = 0;
    std::size_t first_unknown_charset_line = 0;
    std::string unknown_charset;
    std::size_t unknown_charsets = 0;
};

enum class CardReading {
    as_they_stand, // lines in pieces of 1,999 bytes, values as they stand
    decoded,       // logical lines, values decoded as vCard writes them
};

// Reads the card file to its end. As they stand, each line that begins
// with a column's tag gives that column its value: the text after the
// line's first colon that is not its first byte, cleaned up. Decoded, each
// logical line is read as a vCard property, and a column shows the n-th of
// the lines its tag names, preferred ones first, decoded. At each "END:"
// line a data line is written, unless a required column is empty. Values
// are cleared only at "BEGIN:VCARD" lines. Stops early once the table can no
// longer be written.
CardsSeen scan_cards(LineReader& cards, TableWriter& table, const RunSettings& settings, const ColumnTable& columns,
                     CardReading reading);

} // namespace cardtab
