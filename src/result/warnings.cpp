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
    return files <= 1 ? std::string() : "; " + counted(files - 1, "other card file ", "other card files ") + std::string(what);
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
    encoded_values,
    properties_not_taken,
    unknown_charsets,
    cut_values,
    eof_byte,
    card_file_is_wide,
    listed_card_file_is_wide,
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
        text.append(", so the table has no columns; run ").append(listing).append(" to see which tags the cards hold");
    }
    warn_about(result, {"configuration file", kConfigurationFileName}, text);
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

bool card_file_wide(const RunFindings& findings, const RunFacts&)
{
    return findings.cards.wide_text != WideText::none;
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
        warn(result, all_card_files(facts) + ended + "the required column " + quoted(view(column.title)) + " (tag " + quoted(view(column.tag)) +
                       ") was empty in " + std::string(by_count(ends, "it", "every one")) +
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
constexpr std::array<WarningRow, 15> kWarnings = {{
    {noted_configuration_lines, About::configuration, nullptr, has_noted_lines, say_noted_lines, 0},
    {configuration_is_wide, About::configuration, nullptr, configuration_wide, say_configuration_wide, 0},
    {too_many_columns, About::configuration, nullptr, columns_ignored, say_columns_ignored, 0},
    {tags_naming_no_property, About::conversion, nullptr, some_tags_name_no_property, say_tags_naming_no_property, 0},
    {configuration_missing, About::written_table, nullptr, is_missing, say_missing, 0},
    {encoded_values, About::written_table, &CardFindings::encoded_values, nullptr, say_values_encoded, 0},
    {properties_not_taken, About::written_table, &CardFindings::properties_not_taken, nullptr,
     say_properties_not_taken, 0},
    {unknown_charsets, About::written_table, nullptr, some_charsets_unknown, say_charsets_unknown, 0},
    {cut_values, About::written_table, &CardFindings::cut_values, nullptr, say_values_cut, 0},
    {eof_byte, About::written_table, nullptr, bytes_left_unread, say_bytes_left_unread, 0},
    {card_file_is_wide, About::written_table, nullptr, card_file_wide, say_card_file_wide,
     bit(no_card_end) | bit(no_rows) | bit(tags_never_taken)},
    {listed_card_file_is_wide, About::listing, nullptr, card_file_wide, say_listed_card_file_wide, 0},
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
