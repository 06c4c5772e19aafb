#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/records.hpp"
#include "io/line_reader.hpp"
#include "text/fixed_text.hpp"

// What a run found that it may have to say: plain facts, written where they
// are seen (the configuration's reader, the scan and what watches it, the
// table's replacement) and said at the end by the warnings table
// (warnings.hpp), which alone turns them into words.
namespace cardtab {

// How often something was seen, and the line it was seen on first: of the
// card file of that place among the run's card files.
struct Counted {
    std::uint64_t count = 0;
    std::size_t first_line = 0;
    std::size_t first_file = 0;
};

// `how_many` more, seen on `line`.
inline void note(Counted& counted, std::size_t line, std::uint64_t how_many = 1)
{
    if (how_many == 0) {
        return;
    }
    counted.first_line = counted.count == 0 ? line : counted.first_line;
    counted.count += how_many;
}

// What a line of the configuration may do otherwise than its author meant.
enum class LineNote {
    byte_order_mark,         // the first line begins with one: texts[0] is the line
    words_after_card_name,   // texts[0]: what stands after the name
    words_after_table_name,  // texts[0]: what stands after the name
    title_too_long,          // shortened to its capacity
    tag_cut,                 // texts: the tag, the column's title, what was cut
    separator_became_column, // texts[0]: the separator, on a line with a line feed
    separator_with_blanks,   // texts[0]: the last line, blanks and all
    mark_inside_title,       // texts: the title, the mark ("#" or "Ident"), the tag
};
inline constexpr std::size_t kLineNoteKinds = static_cast<std::size_t>(LineNote::mark_inside_title) + 1;

// Lines of one kind said one by one; the rest are counted.
inline constexpr std::size_t kNotedLinesKept = 5;

struct NotedLine {
    LineNote note;
    std::size_t line = 0;
    std::array<std::string, 3> texts;
};

struct ConfigurationFindings {
    // The file read, or, where there is none, the one looked for first; and
    // the program's folder, where it was looked for next.
    std::string name;
    std::string program_folder;
    bool missing = false;
    // Decoding without a configuration gave the table its own columns.
    bool default_columns = false;
    bool outlook_columns = false; // --outlook: its layout in place of the configuration's
    bool no_columns = false;      // read, but it gave no column (an empty file, say)
    std::vector<NotedLine> noted_lines; // in the order of the file, kNotedLinesKept of a kind
    std::array<Counted, kLineNoteKinds> noted_lines_not_kept{};
    WideText wide_text = WideText::none;
    Counted ignored_columns; // column lines past the last column the table holds
};

// The names of character sets the lines named and this program does not
// know, for one warning at the end.
struct UnknownCharsets {
    static constexpr std::size_t kNamesKept = 16;
    static constexpr std::size_t kNameBytes = 32;
    std::array<FixedText<kNameBytes>, kNamesKept> names;
    std::size_t distinct = 0;
    Counted lines;
};

// A name as written, but for its double quotes, cut to kNameBytes, and
// the line that names it.
void note_unknown_charset(UnknownCharsets& charsets, std::string_view name, std::size_t line);

// What the scan found, of one card file or, added up, of all a run reads.
struct CardFindings {
    // No line of the file can match: the first such file, and how many.
    WideText wide_text = WideText::none;
    std::size_t wide_file = 0;
    std::size_t wide_files = 0;
    std::size_t card_ends = 0;           // lines beginning "END:"
    std::size_t rows = 0;
    // Required columns filled at no card's end.
    ColumnSet required_never_filled = 0;
    // Columns that some line of the file matched.
    ColumnSet columns_taken = 0;
    // Values written cut at their capacity, losing more than blanks.
    Counted cut_values;
    std::size_t first_cut_column = 0;
    // The line holding a 0x1A that ended the file early, and the bytes
    // after it that are text; of the first file so ended, and how many were.
    std::size_t eof_byte_line = 0;
    std::uint64_t bytes_after_eof_byte = 0;
    std::size_t eof_byte_file = 0;
    std::size_t files_ended_by_eof_byte = 0;
    // Without decoding: values taken as they stand that decoding would
    // write otherwise, and lines a column would take only when decoding.
    Counted encoded_values;
    Counted properties_not_taken;
    // Decoding: lines that name a character set this program does not know.
    UnknownCharsets unknown_charsets;
    // Without decoding: the file's first line holds the card bounds after
    // CRs, as a file with CR-only line ends does.
    bool cr_only_line_ends = false;
    // Decoding: values that named no set, were not UTF-8 and were read as
    // Windows-1250.
    Counted read_as_windows_1250;
    // Cards ended without a row, a required column empty: the first such
    // column.
    Counted cards_without_row;
    std::size_t first_rowless_column = 0;
    // Values a spreadsheet would run as formulas, and the first one's column.
    Counted formula_values;
    std::size_t first_formula_column = 0;
    // Without decoding: lines other than the first that begin with a UTF-8
    // byte order mark; values taken from a piece of a long line after its
    // first, and the first one's column.
    Counted byte_order_marks;
    Counted values_from_later_pieces;
    std::size_t first_later_piece_column = 0;
};

// Adds what the scan found in the run's card file number `file` (from 0)
// to what it found in those before.
void add_file_findings(CardFindings& run, const CardFindings& file, std::size_t file_number);

// Adds what the scan found in a part of a card file, which begins after
// `lines_before` of its lines, to what it found before it in the file.
void add_part_findings(CardFindings& file, const CardFindings& part, std::size_t lines_before);

struct RunFindings {
    ConfigurationFindings configuration;
    // Decoding: the columns whose tags name no vCard property.
    ColumnSet tags_naming_no_property = 0;
    CardFindings cards;
};

} // namespace cardtab
