#include "result/findings.hpp"

#include <algorithm>

#include "text/text.hpp"

namespace cardtab {

void note_unknown_charset(UnknownCharsets& charsets, std::string_view name, std::size_t line)
{
    note(charsets.lines, line);
    FixedText<UnknownCharsets::kNameBytes> shown;
    for (const char byte : name) {
        if (byte != '"' && shown.length < UnknownCharsets::kNameBytes) {
            shown.bytes[shown.length++] = byte;
        }
    }
    for (std::size_t n = 0; n < std::min(charsets.distinct, UnknownCharsets::kNamesKept); ++n) {
        if (equals_in_any_case(view(charsets.names[n]), view(shown))) {
            return;
        }
    }
    if (charsets.distinct < UnknownCharsets::kNamesKept) {
        charsets.names[charsets.distinct] = shown;
    }
    ++charsets.distinct;
}

namespace {

// Where the findings added were found: in which card file of the run, and
// after how many of its lines.
struct Place {
    std::size_t file = 0;
    std::size_t lines_before = 0;
};

void add_counted(Counted& run, const Counted& file, Place place)
{
    if (run.count == 0 && file.count != 0) {
        run.first_line = file.first_line + place.lines_before;
        run.first_file = place.file;
    }
    run.count += file.count;
}

void add_unknown_charsets(UnknownCharsets& run, const UnknownCharsets& file, Place place)
{
    const Counted lines = run.lines;
    for (std::size_t n = 0; n < std::min(file.distinct, UnknownCharsets::kNamesKept); ++n) {
        note_unknown_charset(run, view(file.names[n]), 0);
    }
    run.distinct += file.distinct - std::min(file.distinct, UnknownCharsets::kNamesKept);
    run.lines = lines;
    add_counted(run.lines, file.lines, place);
}

// What the scan counts on the way, added in the order it was found.
void add_scan_findings(CardFindings& run, const CardFindings& file, Place place)
{
    run.card_ends += file.card_ends;
    run.cr_only_line_ends = run.cr_only_line_ends || file.cr_only_line_ends;
    run.rows += file.rows;
    run.columns_taken |= file.columns_taken;
    if (run.cut_values.count == 0) {
        run.first_cut_column = file.first_cut_column;
    }
    add_counted(run.cut_values, file.cut_values, place);
    add_counted(run.encoded_values, file.encoded_values, place);
    add_counted(run.read_as_windows_1250, file.read_as_windows_1250, place);
    const auto add_with_column = [place](Counted& all, std::size_t& column, const Counted& one,
                                         std::size_t one_column) {
        column = all.count == 0 ? one_column : column;
        add_counted(all, one, place);
    };
    add_with_column(run.cards_without_row, run.first_rowless_column, file.cards_without_row,
                    file.first_rowless_column);
    add_with_column(run.formula_values, run.first_formula_column, file.formula_values, file.first_formula_column);
    add_counted(run.byte_order_marks, file.byte_order_marks, place);
    add_with_column(run.values_from_later_pieces, run.first_later_piece_column, file.values_from_later_pieces,
                    file.first_later_piece_column);
    add_counted(run.properties_not_taken, file.properties_not_taken, place);
    add_unknown_charsets(run.unknown_charsets, file.unknown_charsets, place);
}

} // namespace

void add_file_findings(CardFindings& run, const CardFindings& file, std::size_t file_number)
{
    if (file.wide_text != WideText::none && run.wide_files++ == 0) {
        run.wide_text = file.wide_text;
        run.wide_file = file_number;
    }
    run.required_never_filled =
        file_number == 0 ? file.required_never_filled : run.required_never_filled & file.required_never_filled;
    if (file.bytes_after_eof_byte != 0 && run.files_ended_by_eof_byte++ == 0) {
        run.eof_byte_line = file.eof_byte_line;
        run.bytes_after_eof_byte = file.bytes_after_eof_byte;
        run.eof_byte_file = file_number;
    }
    add_scan_findings(run, file, {file_number, 0});
}

void add_part_findings(CardFindings& file, const CardFindings& part, std::size_t lines_before)
{
    file.required_never_filled &= part.required_never_filled;
    add_scan_findings(file, part, {0, lines_before});
}

} // namespace cardtab
