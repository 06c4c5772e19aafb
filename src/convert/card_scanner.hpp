#pragma once

#include <cstddef>
#include <cstdint>

#include "config/records.hpp"
#include "convert/card_values.hpp"
#include "convert/csv_output.hpp"
#include "io/line_reader.hpp"
#include "io/table_writer.hpp"
#include "result/findings.hpp"
#include "vcard/tag_listing.hpp"

namespace cardtab {

enum class CardReading {
    as_they_stand, // lines in pieces of 1,999 bytes, values as they stand
    decoded,       // logical lines, values decoded as vCard writes them
};

// The bytes a value keeps: the rules' 100, or, decoding, as much as a
// logical line keeps.
constexpr std::size_t value_capacity(CardReading reading)
{
    return reading == CardReading::decoded ? kMaxDecodedValueBytes : kMaxValueBytes;
}

// A card file of rows is cut into parts of about this many bytes, each
// beginning with a card, which are scanned on `threads` threads at once; a
// file of one part, on the main thread alone.
inline constexpr std::size_t kScanPartBytes = std::size_t{1} << 20;
struct ScanSpread {
    std::size_t threads = 1;
    std::size_t part_bytes = kScanPartBytes;
};

// Where a scan's rows go: into a table, or, for a listing, nowhere, its
// lines' tags counted instead; and how many threads make them.
struct ScanOutput {
    TableWriter* table = nullptr;
    const TableTexts* texts = nullptr; // what the table shows of the configuration
    TagCounts* tags = nullptr;
    ScanSpread spread;
};

// Reads the card file to its end. As they stand, each line that begins
// with a column's tag gives that column its value: the text after the
// line's first colon that is not its first byte, cleaned up. Decoded, each
// logical line is read as a vCard property, and a column shows the n-th of
// the lines its tag names, preferred ones first, decoded. At each "END:"
// line a data line is written, unless a required column is empty. Values
// are cleared only at "BEGIN:VCARD" lines. Stops early once the table can no
// longer be written. What it finds goes into `found`.
void scan_cards(LineReader& cards, const RunSettings& settings, const ColumnTable& columns, CardReading reading,
                ScanOutput output, CardFindings& found);

// Where a scan's card files after the first come from.
class NextCardFile {
public:
    // Takes what the scan `found` in the file `cards` has just read to its
    // end (or as far as the table could take), and, where `more_wanted`,
    // opens the next file in `cards`: false where there is none, or it
    // cannot be opened.
    virtual bool file_ended(LineReader& cards, const CardFindings& found, bool more_wanted) = 0;

protected:
    ~NextCardFile() = default;
};

// The same for each card file in turn, each read as if alone, and `found`
// what the scan found in the last; what it found in each is handed on at
// the file's end.
void scan_cards(LineReader& cards, const RunSettings& settings, const ColumnTable& columns, CardReading reading,
                ScanOutput output, CardFindings& found, NextCardFile& next);

} // namespace cardtab
