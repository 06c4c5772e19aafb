#include "result/warnings.hpp"

#include <array>
#include <bit>
#include <cstdint>

namespace cardtab {

namespace {

// A file as warnings name it: "card file 'import.vcf'", or the name alone
// where `what` is empty ("cardtab.ini").
struct FileInMessage {
    std::string_view what;
    std::string_view name;
};

std::string named(const FileInMessage& file)
{
    return file.what.empty() ? std::string(file.name)
                             : std::string(file.what).append(" '").append(file.name).append("'");
}

// "<file><text>": the text goes on from the file's name (" is UTF-16...",
// ": 3 values...").
void warn_about(RunResult& result, const FileInMessage& file, std::string_view text)
{
    warn(result, named(file).append(text));
}

// "<file>: line <line>: <text>".
void warn_about_line(RunResult& result, const FileInMessage& file, std::size_t line, std::string_view text)
{
    warn(result, named(file).append(": line ").append(std::to_string(line)).append(": ").append(text));
}

// A file in UTF-16 or UTF-32, in which nothing reads as meant; `what_fails`
// says what.
void warn_of_wide_text(RunResult& result, const FileInMessage& file, WideText wide, std::string_view what_fails,
                       std::string_view after = {})
{
    warn_about(result, file,
               std::string(" is ")
                   .append(wide == WideText::utf16 ? "UTF-16" : "UTF-32")
                   .append(", in which ")
                   .append(what_fails)
                   .append("; save it as UTF-8")
                   .append(after));
}

FileInMessage configuration_file(const RunFindings& findings)
{
    return {"", findings.configuration.name};
}

FileInMessage card_file(const RunFacts& facts, std::size_t file)
{
    return {"card file", facts.card_names[file]};
}

// All the card files of the run, for a warning about what they all lack:
// "card file 'a.vcf'", or "card files 'a.vcf' and 2 others".
std::string all_card_files(const RunFacts& facts)
{
    const std::size_t others = facts.card_names.size() - 1;
    if (others == 0) {
        return named(card_file(facts, 0));
    }
    return "card files '" + facts.card_names[0] + "' and " + counted(others, "other", "others");
}

// "; 2 other card files end early...": a fact of one file that later files
// share, said of the first.
std::string others_too(std::size_t files, std::string_view what)
{
    return files <= 1 ? std::string()
                      : "; " + counted(files - 1, "other card file ", "other card files ") + std::string(what);
}

std::string quoted(std::string_view text)
{
    return std::string("'").append(text).append("'");
}

void say_noted_line(const NotedLine& noted, const RunFindings& findings, RunResult& result)
{
    const auto& texts = noted.texts;
    std::string text;
    switch (noted.note) {
    case LineNote::byte_order_mark:
        text = "begins with a UTF-8 byte order mark, which becomes part of " + quoted(texts[0]) +
               "; save the file as UTF-8 without a byte order mark";
        break;
    case LineNote::words_after_card_name:
        text = quoted(texts[0]) +
               " after the card file's name is ignored; only the word 'decode', after a space, may stand there";
        break;
    case LineNote::words_after_table_name:
        text = quoted(texts[0]) + " after the table file's name is ignored; only the word 'utf8' or 'accents', "
                                  "after a space, may stand there";
        break;
    case LineNote::title_too_long:
        text = "title longer than " + std::to_string(kMaxTitleBytes) + " bytes; shortened to its first " +
               std::to_string(kMaxTitleBytes);
        break;
    case LineNote::tag_cut:
        text = "the tag " + quoted(texts[0]) + " of the column " + quoted(texts[1]) + " is cut at " +
               std::to_string(kMaxTagBytes) + " bytes; " + quoted(texts[2]) + " after it is left out";
        break;
    case LineNote::separator_became_column:
        text = quoted(texts[0]) + " became a column; only a last line without a line feed sets the separator";
        break;
    case LineNote::mark_inside_title:
        text = "the title " + quoted(texts[0]) + " holds " + quoted(texts[1]);
        if (texts[1] == "Ident") {
            text += ", so every row shows the column's tag " + quoted(texts[2]) +
                    " and no card's value; to have the values, write another word in its place";
        } else {
            text += ", so the column is required (a card without it gives no row) and loses every space of its "
                    "values; the mark is meant at a title's start, or not at all";
        }
        break;
    case LineNote::separator_with_blanks:
        text = quoted(texts[0]) +
               " became a column; a last line sets the separator only when it holds nothing else, no space, tab "
               "or CR around it";
        break;
    }
    warn_about_line(result, configuration_file(findings), noted.line, text);
}

constexpr const char* kHowToDecode =
    ", add 'decode' after the card file's name in cardtab.ini or run 'cardtab --decode'";

// One bit for each warning of the table.
using WarningSet = std::uint32_t;

enum Warning : unsigned {
    noted_configuration_lines,
    configuration_is_wide,
    too_many_columns,
    tags_naming_no_property,
    configuration_missing,
    configuration_without_columns,
    encoded_values,
    properties_not_taken,
    unknown_charsets,
    cut_values,
    read_as_windows_1250,
    byte_order_marks,
    values_from_later_pieces,
    formula_values,
    cards_without_row,
    eof_byte,
    listed_eof_byte,
    card_file_is_wide,
    listed_card_file_is_wide,
    cr_only_line_ends,
    no_card_end,
    no_rows,
    tags_never_taken,
};

constexpr WarningSet bit(Warning warning)
{
    return WarningSet{1} << warning;
}

// Which runs a warning is about.
enum class About {
    configuration, // every run that reads a configuration, listing or not
    conversion,    // a run that writes a table, even one that then fails
    written_table, // a table that was written and put in place
    listing,       // a listing that was written
};

// A warning applies where its count in the card findings is not 0, or,
// for one that counts nothing, where `applies` says so.
struct WarningRow {
    Warning warning;
    About about;
    Counted CardFindings::*count;
    bool (*applies)(const RunFindings&, const RunFacts&);
    void (*say)(const RunFindings&, const RunFacts&, RunResult&);
    WarningSet holds_back;
};

bool has_noted_lines(const RunFindings& findings, const RunFacts&)
{
    return !findings.configuration.noted_lines.empty();
}

void say_noted_lines(const RunFindings& findings, const RunFacts&, RunResult& result)
{
    for (const NotedLine& noted : findings.configuration.noted_lines) {
        say_noted_line(noted, findings, result);
    }
    for (const Counted& more : findings.configuration.noted_lines_not_kept) {
        if (more.count != 0) {
            const std::uint64_t after = more.count - 1;
            const std::string also =
                after == 0 ? std::string()
                           : ", as " + std::string(by_count(after, "is ", "are ")) +
                                 counted(after, "more line after it", "more lines after it");
            warn_about_line(result, configuration_file(findings), more.first_line,
                            "the same as the " + std::to_string(kNotedLinesKept) + " lines above" + also +
                                "; only the first " + std::to_string(kNotedLinesKept) + " of a kind are said");
        }
    }
}

bool configuration_wide(const RunFindings& findings, const RunFacts&)
{
    return findings.configuration.wide_text != WideText::none;
}

void say_configuration_wide(const RunFindings& findings, const RunFacts&, RunResult& result)
{
    warn_of_wide_text(result, {"configuration file", findings.configuration.name}, findings.configuration.wide_text,
                      "no line is read as meant");
}

bool columns_ignored(const RunFindings& findings, const RunFacts&)
{
    return findings.configuration.ignored_columns.count != 0;
}

void say_columns_ignored(const RunFindings& findings, const RunFacts&, RunResult& result)
{
    const Counted& ignored = findings.configuration.ignored_columns;
    warn_about_line(result, configuration_file(findings), ignored.first_line,
                    "more than " + std::to_string(kMaxColumns) + " columns; " +
                        counted(ignored.count, "column line ignored", "column lines ignored"));
}

bool some_tags_name_no_property(const RunFindings& findings, const RunFacts& facts)
{
    return facts.decoding && findings.tags_naming_no_property != 0;
}

void say_tags_naming_no_property(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    for (ColumnSet set = findings.tags_naming_no_property; set != 0; set &= set - 1) {
        const Column& column = facts.columns.columns[static_cast<std::size_t>(std::countr_zero(set))];
        warn_about_line(result, configuration_file(findings), column.line_number,
                        "the tag " + quoted(view(column.tag)) + " names no vCard property, so the column " +
                            quoted(view(column.title)) + " stays empty in decoding mode");
    }
}

bool is_missing(const RunFindings& findings, const RunFacts&)
{
    return findings.configuration.missing;
}

void say_missing(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const ConfigurationFindings& configuration = findings.configuration;
    std::string text = " not found in the current folder";
    if (!configuration.program_folder.empty()) {
        text.append(" or in ").append(quoted(configuration.program_folder));
    }
    const std::string listing = quoted(facts.listing_command);
    if (configuration.default_columns) {
        text.append(", so the table has the default columns; ").append(listing).append(" lists the cards' tags");
    } else {
        text.append(", so the table has no columns; run ")
            .append(listing)
            .append(" to see which tags the cards hold, or 'cardtab --decode' for the default columns");
    }
    warn_about(result, {"configuration file", kConfigurationFileName}, text);
}

bool gave_no_columns(const RunFindings& findings, const RunFacts&)
{
    return findings.configuration.no_columns;
}

void say_no_columns(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const std::string listing = quoted(facts.listing_command);
    warn_about(result, {"configuration file", findings.configuration.name},
               findings.configuration.default_columns
                   ? " gives no column, so the table has the default columns; " + listing + " lists the cards' tags"
                   : " gives no column, so the table has none; add lines such as 'Name=N' (" + listing +
                         " lists the cards' tags), or run 'cardtab --decode' for the default columns");
}

void say_values_encoded(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const Counted& encoded = findings.cards.encoded_values;
    const std::uint64_t count = encoded.count;
    warn_about(result, card_file(facts, encoded.first_file),
               ": " + counted(count, "value is", "values are") +
                   " encoded (quoted-printable, folded, escaped or not Windows-1250; the first on line " +
                   std::to_string(encoded.first_line) + ") and " + std::string(by_count(count, "is", "are")) +
                   " written as " + std::string(by_count(count, "it stands", "they stand")) + "; to decode " +
                   std::string(by_count(count, "it", "them")) + kHowToDecode);
}

void say_properties_not_taken(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const Counted& lines = findings.cards.properties_not_taken;
    warn_about(result, card_file(facts, lines.first_file),
               ": " + counted(lines.count, "line names a property", "lines name properties") +
                   " that a column's tag names, but " + std::string(by_count(lines.count, "does", "do")) +
                   " not begin with the tag (grouped, as item1.EMAIL, or in lower case; the first on line " +
                   std::to_string(lines.first_line) + "); to read " + std::string(by_count(lines.count, "it", "them")) +
                   kHowToDecode);
}

bool some_charsets_unknown(const RunFindings& findings, const RunFacts&)
{
    return findings.cards.unknown_charsets.lines.count != 0;
}

void say_charsets_unknown(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const UnknownCharsets& charsets = findings.cards.unknown_charsets;
    const std::size_t others = charsets.distinct - 1;
    warn_about(result, card_file(facts, charsets.lines.first_file),
               std::string(": ")
                   .append(counted(charsets.lines.count, "line names", "lines name"))
                   .append(" a character set this program does not know ('")
                   .append(view(charsets.names[0]))
                   .append(others == 0 ? "'" : "' and " + counted(others, "other", "others"))
                   .append("; the first on line ")
                   .append(std::to_string(charsets.lines.first_line))
                   .append("), so their values were read as UTF-8 where they are, else as Windows-1250"));
}

void say_values_cut(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const Counted& cut = findings.cards.cut_values;
    const std::uint64_t count = cut.count;
    warn_about(result, card_file(facts, cut.first_file),
               ": " + counted(count, "value was", "values were") + " longer than " +
                   std::to_string(facts.decoding ? kMaxDecodedValueBytes : kMaxValueBytes) +
                   " bytes and " + std::string(by_count(count, "was", "were")) + " cut (" +
                   std::string(by_count(count, "in", "the first in")) + " column " +
                   quoted(view(facts.columns.columns[findings.cards.first_cut_column].title)) + ", line " +
                   std::to_string(cut.first_line) + ")");
}

// "column 'Phone'", of the column at `j`.
std::string column_named(const RunFacts& facts, std::size_t j)
{
    return "column " + quoted(view(facts.columns.columns[j].title));
}

void say_read_as_windows_1250(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const Counted& read = findings.cards.read_as_windows_1250;
    warn_about(result, card_file(facts, read.first_file),
               ": " + counted(read.count, "value names", "values name") +
                   " no character set and " + std::string(by_count(read.count, "is", "are")) +
                   " not UTF-8, so " + std::string(by_count(read.count, "it was", "they were")) +
                   " read as Windows-1250 (the first on line " + std::to_string(read.first_line) +
                   "); a value in another code page needs CHARSET= on its line (UTF-8, ISO-8859-1, ISO-8859-2, "
                   "Windows-1250 or Windows-1252), or the export saved as UTF-8");
}

void say_byte_order_marks(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const Counted& marks = findings.cards.byte_order_marks;
    const std::string more = marks.count == 1 ? "" : " (and " + counted(marks.count - 1, "line", "lines") + " after)";
    warn_about(result, card_file(facts, marks.first_file),
               ": line " + std::to_string(marks.first_line) + more +
                   " begins with a UTF-8 byte order mark, as where two exports were joined, so a card beginning "
                   "there is not seen; 'cardtab --decode' drops the mark");
}

void say_values_from_later_pieces(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const Counted& pieces = findings.cards.values_from_later_pieces;
    warn_about(result, card_file(facts, pieces.first_file),
               ": " + counted(pieces.count, "value was", "values were") +
                   " taken from the middle of a line longer than 1,999 bytes, whose pieces are read as lines (the "
                   "first in " + column_named(facts, findings.cards.first_later_piece_column) + ", line " +
                   std::to_string(pieces.first_line) + "); such a line is most often a photo, which 'cardtab "
                   "--decode' reads whole");
}

void say_formula_values(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const Counted& formulas = findings.cards.formula_values;
    warn_about(result, card_file(facts, formulas.first_file),
               ": " + counted(formulas.count, "value begins", "values begin") +
                   " like a spreadsheet formula ('=', '@', or '+' or '-' before other than a number; the first in " +
                   column_named(facts, findings.cards.first_formula_column) + ", the card ending on line " +
                   std::to_string(formulas.first_line) +
                   "), which Excel or LibreOffice runs when it opens the table; look at " +
                   std::string(by_count(formulas.count, "it", "them")) + " before opening the table there");
}

bool some_cards_without_row(const RunFindings& findings, const RunFacts&)
{
    // With no row at all, the warning of an empty table says more.
    return findings.cards.cards_without_row.count != 0 && findings.cards.rows != 0;
}

void say_cards_without_row(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const Counted& dropped = findings.cards.cards_without_row;
    const Column& column = facts.columns.columns[findings.cards.first_rowless_column];
    warn_about(result, card_file(facts, dropped.first_file),
               ": " + counted(dropped.count, "card gave", "cards gave") + " no row: the required column " +
                   quoted(view(column.title)) + " (tag " + quoted(view(column.tag)) + ") was empty (" +
                   std::string(by_count(dropped.count, "at", "the first at")) + " line " +
                   std::to_string(dropped.first_line) + "); a '*' or '#' in a title makes its column required");
}

bool bytes_left_unread(const RunFindings& findings, const RunFacts&)
{
    return findings.cards.bytes_after_eof_byte != 0;
}

void say_bytes_left_unread(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const CardFindings& cards = findings.cards;
    warn_about(result, card_file(facts, cards.eof_byte_file),
               ": line " + std::to_string(cards.eof_byte_line) +
                   " holds the byte 0x1A, which ends a file of text, so the " +
                   counted(cards.bytes_after_eof_byte, "byte after it was", "bytes after it were") +
                   " not read; remove that byte to have them read" +
                   others_too(cards.files_ended_by_eof_byte, "end early at such a byte too"));
}

// Decoding reads wide text as the text it is.
bool card_file_wide(const RunFindings& findings, const RunFacts& facts)
{
    return findings.cards.wide_text != WideText::none && !facts.decoding;
}

void say_card_file_wide(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const CardFindings& cards = findings.cards;
    warn_of_wide_text(result, card_file(facts, cards.wide_file), cards.wide_text,
                      "no card line can match",
                      others_too(cards.wide_files, "are UTF-16 or UTF-32 too"));
}

void say_listed_card_file_wide(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const CardFindings& cards = findings.cards;
    warn_of_wide_text(result, card_file(facts, cards.wide_file), cards.wide_text,
                      "no tag can be read",
                      others_too(cards.wide_files, "are UTF-16 or UTF-32 too"));
}

bool lines_end_in_cr_alone(const RunFindings& findings, const RunFacts&)
{
    return findings.cards.cr_only_line_ends && findings.cards.card_ends == 0;
}

void say_cr_only_line_ends(const RunFindings&, const RunFacts& facts, RunResult& result)
{
    warn(result, all_card_files(facts) +
                     " ends its lines in CR alone (an old Mac export), so the whole file reads as one line and no "
                     "card was ended; save it with CR LF or LF line ends");
}

bool no_card_ended(const RunFindings& findings, const RunFacts&)
{
    return findings.cards.card_ends == 0;
}

void say_no_card_ended(const RunFindings&, const RunFacts& facts, RunResult& result)
{
    const bool several = facts.card_names.size() > 1;
    warn(result, all_card_files(facts) + (several ? " hold" : " holds") +
                     " no line beginning 'END:', so no card was ended and no data line was written");
}

bool no_row_written(const RunFindings& findings, const RunFacts&)
{
    return findings.cards.rows == 0;
}

// Cards were ended, and not one gave a data line: a required column was
// empty in each, most likely because its tag begins no card line.
void say_no_row_written(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    const std::size_t ends = findings.cards.card_ends;
    const std::string ended = ": " + counted(ends, "card was ended, but ", "cards were ended, but ");
    const ColumnSet never = findings.cards.required_never_filled;
    for (ColumnSet set = never; set != 0; set &= set - 1) {
        const Column& column = facts.columns.columns[static_cast<std::size_t>(std::countr_zero(set))];
        warn(result, all_card_files(facts) + ended + "the required column " + quoted(view(column.title)) +
                         " (tag " + quoted(view(column.tag)) + ") was empty in " +
                         std::string(by_count(ends, "it", "every one")) +
                         ", so no data line was written; check that its tag begins the card lines it is meant for");
    }
    if (never == 0) {
        warn(result, all_card_files(facts) + ended + "in each a required column was empty, so no data line was written");
    }
}

// A column that no line matched is most likely a misspelt tag. Constant
// columns show their tags; a tag that names no property when decoding, or
// a required column that left the table without rows, has had its warning.
ColumnSet columns_never_taken(const RunFindings& findings, const RunFacts& facts)
{
    ColumnSet never = 0;
    for (std::size_t j = 0; j < facts.columns.count; ++j) {
        const ColumnSet bit = ColumnSet{1} << j;
        const bool said = (facts.decoding && (findings.tags_naming_no_property & bit) != 0) ||
                          (findings.cards.rows == 0 && (findings.cards.required_never_filled & bit) != 0);
        if ((findings.cards.columns_taken & bit) == 0 && !facts.columns.columns[j].marks.is_constant && !said) {
            never |= bit;
        }
    }
    return never;
}

bool some_tags_never_taken(const RunFindings& findings, const RunFacts& facts)
{
    // Columns built in are there for any export, whatever this one holds.
    const bool built_in = findings.configuration.default_columns || findings.configuration.outlook_columns;
    return !built_in && columns_never_taken(findings, facts) != 0;
}

void say_tags_never_taken(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    for (ColumnSet set = columns_never_taken(findings, facts); set != 0; set &= set - 1) {
        const Column& column = facts.columns.columns[static_cast<std::size_t>(std::countr_zero(set))];
        warn(result, "column " + quoted(view(column.title)) + " (tag " + quoted(view(column.tag)) +
                         "): no line of the card " + (facts.card_names.size() > 1 ? "files" : "file") +
                         " has this tag; " + quoted(facts.listing_command) +
                         " lists the tags the cards hold");
    }
}

// In the order they are said. The card file's own troubles (wide text, no
// card, no row) are said instead of what they explain.
constexpr std::array<WarningRow, 23> kWarnings = {{
    {noted_configuration_lines, About::configuration, nullptr, has_noted_lines, say_noted_lines, 0},
    {configuration_is_wide, About::configuration, nullptr, configuration_wide, say_configuration_wide, 0},
    {too_many_columns, About::configuration, nullptr, columns_ignored, say_columns_ignored, 0},
    {tags_naming_no_property, About::conversion, nullptr, some_tags_name_no_property, say_tags_naming_no_property, 0},
    {configuration_missing, About::written_table, nullptr, is_missing, say_missing, 0},
    {configuration_without_columns, About::written_table, nullptr, gave_no_columns, say_no_columns,
     bit(tags_never_taken)},
    {encoded_values, About::written_table, &CardFindings::encoded_values, nullptr, say_values_encoded, 0},
    {properties_not_taken, About::written_table, &CardFindings::properties_not_taken, nullptr,
     say_properties_not_taken, 0},
    {unknown_charsets, About::written_table, nullptr, some_charsets_unknown, say_charsets_unknown, 0},
    {cut_values, About::written_table, &CardFindings::cut_values, nullptr, say_values_cut, 0},
    {read_as_windows_1250, About::written_table, &CardFindings::read_as_windows_1250, nullptr,
     say_read_as_windows_1250, 0},
    {byte_order_marks, About::written_table, &CardFindings::byte_order_marks, nullptr, say_byte_order_marks, 0},
    {values_from_later_pieces, About::written_table, &CardFindings::values_from_later_pieces, nullptr,
     say_values_from_later_pieces, 0},
    {formula_values, About::written_table, &CardFindings::formula_values, nullptr, say_formula_values, 0},
    {cards_without_row, About::written_table, nullptr, some_cards_without_row, say_cards_without_row, 0},
    {eof_byte, About::written_table, nullptr, bytes_left_unread, say_bytes_left_unread, 0},
    {listed_eof_byte, About::listing, nullptr, bytes_left_unread, say_bytes_left_unread, 0},
    {card_file_is_wide, About::written_table, nullptr, card_file_wide, say_card_file_wide,
     bit(no_card_end) | bit(no_rows) | bit(tags_never_taken)},
    {listed_card_file_is_wide, About::listing, nullptr, card_file_wide, say_listed_card_file_wide, 0},
    {cr_only_line_ends, About::written_table, nullptr, lines_end_in_cr_alone, say_cr_only_line_ends,
     bit(no_card_end) | bit(no_rows) | bit(tags_never_taken)},
    {no_card_end, About::written_table, nullptr, no_card_ended, say_no_card_ended, bit(no_rows) | bit(tags_never_taken)},
    {no_rows, About::written_table, nullptr, no_row_written, say_no_row_written, 0},
    {tags_never_taken, About::written_table, nullptr, some_tags_never_taken, say_tags_never_taken, 0},
}};

bool is_about(About about, const RunFacts& facts, const RunResult& result)
{
    switch (about) {
    case About::configuration:
        return true;
    case About::conversion:
        return !facts.listing;
    case About::written_table:
        return !facts.listing && !result.failed;
    case About::listing:
        return facts.listing && !result.failed;
    }
    return false;
}

} // namespace

void say_findings(const RunFindings& findings, const RunFacts& facts, RunResult& result)
{
    WarningSet held_back = 0;
    for (const WarningRow& row : kWarnings) {
        const bool applies =
            row.count != nullptr ? (findings.cards.*row.count).count != 0 : row.applies(findings, facts);
        if ((held_back & bit(row.warning)) != 0 || !is_about(row.about, facts, result) || !applies) {
            continue;
        }
        row.say(findings, facts, result);
        held_back |= row.holds_back;
    }
}

} // namespace cardtab
