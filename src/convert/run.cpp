#include "convert/run.hpp"

#include <string>

#include "config/configuration.hpp"
#include "convert/card_scanner.hpp"
#include "convert/csv_output.hpp"
#include "convert/selectors.hpp"

namespace cardtab {

namespace {

std::string file_name(std::string_view base_name, std::string_view extension)
{
    return std::string(base_name).append(extension);
}

// Refuses a table name that leads, through a link, to the card file or the
// configuration: writing the table would destroy them.
bool table_spares_inputs(FileLayer& files, const FileFacts& table, const std::string& table_name,
                         const std::string& card_name, RunResult& result)
{
    if (!table.exists) {
        return true;
    }
    const struct {
        std::string_view what;
        std::string_view name;
    } inputs[] = {{"card file", card_name}, {"configuration file", kConfigurationFileName}};
    for (const auto& input : inputs) {
        const FileFacts facts = files.look_up(input.name);
        if (!facts.status.ok) {
            fail_on_file(result, "open " + std::string(input.what), input.name, facts.status);
            return false;
        }
        if (facts.exists && facts.id == table.id) {
            fail(result, "refusing to write table file '" + table_name + "': it would overwrite the " +
                             std::string(input.what) + " '" + std::string(input.name) + "'");
            return false;
        }
    }
    return true;
}

// The card file is opened, and read, before the table is touched, so a card
// file that is missing or cannot be read leaves an existing table alone.
bool open_cards(FileLayer& files, const std::string& card_name, LineReader& cards, RunResult& result)
{
    IoStatus status = open_line_reader(cards, files, card_name);
    if (!status.ok) {
        fail_on_file(result, "open card file", card_name, status);
        return false;
    }
    status = read_ahead(cards);
    if (!status.ok) {
        fail_on_file(result, "read card file", card_name, status);
        return false;
    }
    return true;
}

bool open_table(FileLayer& files, const std::string& table_name, const std::string& card_name, TableWriter& table,
                RunResult& result)
{
    const FileFacts facts = files.look_up(table_name);
    if (!facts.status.ok) {
        fail_on_file(result, "create table file", table_name, facts.status);
        return false;
    }
    if (!table_spares_inputs(files, facts, table_name, card_name, result)) {
        return false;
    }
    const IoStatus created = create_table_writer(table, files, facts);
    if (!created.ok) {
        fail_on_file(result, "create table file", table_name, facts.final_name, created);
        return false;
    }
    return true;
}

// Only a table written whole, from a card file read to its end, takes the
// old table's place. A table not put in place is discarded with its writer.
void finish_table(LineReader& cards, const std::string& card_name, TableWriter& table,
                  const std::string& table_name, RunResult& result)
{
    const IoStatus read = close_line_reader(cards);
    const IoStatus written = close_table_writer(table);
    const std::string& final_name = table.table.target;
    if (!read.ok) {
        fail_on_file(result, "read card file", card_name, read);
    } else if (!written.ok) {
        fail_on_file(result, "write table file", table_name, final_name, written);
    } else if (const IoStatus replaced = commit_table(table); !replaced.ok) {
        fail_on_file(result, "replace table file", table_name, final_name, replaced);
    } else if (!table.table.left_behind.empty()) {
        fail_on_file(result, "remove the temporary copy of the table", table.table.left_behind,
                     table.table.left_behind_because);
    }
}

constexpr const char* kHowToDecode =
    ", add 'decode' after the card file's name in cardtab.ini or run 'cardtab --decode'";

void warn_of_encoded_values(const CardsSeen& seen, const FileInMessage& cards, RunResult& result)
{
    const std::size_t count = seen.encoded_values;
    warn_about(result, cards,
               ": " + counted(count, "value is", "values are") +
                   " encoded (quoted-printable, folded, escaped or not Windows-1250; the first on line " +
                   std::to_string(seen.first_encoded_line) + ") and " + std::string(by_count(count, "is", "are")) +
                   " written as " + std::string(by_count(count, "it stands", "they stand")) + "; to decode " +
                   std::string(by_count(count, "it", "them")) +
                   kHowToDecode);
}

void warn_of_properties_not_taken(const CardsSeen& seen, const FileInMessage& cards, RunResult& result)
{
    warn_about(result, cards,
               ": " + counted(seen.properties_not_taken, "line names a property", "lines name properties") +
                   " that a column's tag names, but " +
                   std::string(by_count(seen.properties_not_taken, "does", "do")) +
                   " not begin with the tag (grouped, as item1.EMAIL, or in lower case; the first on line " +
                   std::to_string(seen.first_property_not_taken_line) + "); to read " +
                   std::string(by_count(seen.properties_not_taken, "it", "them")) + kHowToDecode);
}

// Cards were ended, and not one gave a data line: a required column was
// empty in each, most likely because its tag begins no card line.
void warn_of_no_rows(const CardsSeen& seen, const ColumnTable& columns, const FileInMessage& cards,
                     RunResult& result)
{
    const std::string ended = ": " + counted(seen.card_ends, "card was ended, but ", "cards were ended, but ");
    bool named = false;
    for (std::size_t j = 0; j < columns.count; ++j) {
        if ((seen.required_never_filled >> j & 1) == 0) {
            continue;
        }
        const Column& column = columns.columns[j];
        warn_about(result, cards,
                   ended + "the required column '" + std::string(view(column.title)) + "' (tag '" +
                       std::string(view(column.tag)) + "') was empty in " +
                       std::string(by_count(seen.card_ends, "it", "every one")) +
                       ", so no data line was written; check that its tag begins the card lines it is meant for");
        named = true;
    }
    if (!named) {
        warn_about(result, cards, ended + "in each a required column was empty, so no data line was written");
    }
}

void warn_of_unknown_charsets(const CardsSeen& seen, const FileInMessage& cards, RunResult& result)
{
    const std::size_t others = seen.unknown_charsets - 1;
    warn_about(result, cards,
               std::string(": ")
                   .append(counted(seen.unknown_charset_lines, "line names", "lines name"))
                   .append(" a character set this program does not know ('")
                   .append(seen.unknown_charset)
                   .append(others == 0 ? "'" : "' and " + counted(others, "other", "others"))
                   .append("; the first on line ")
                   .append(std::to_string(seen.first_unknown_charset_line))
                   .append("), so their values were read as UTF-8 where they are, else as Windows-1250"));
}

// Decoding reads a column's tag as the vCard property it names. A tag that
// names none leaves its column empty; a constant column's tag, which is
// text to show, is left alone unless the column is also required.
void warn_of_tags_naming_no_property(const ColumnTable& columns, RunResult& result)
{
    for (std::size_t j = 0; j < columns.count; ++j) {
        const Column& column = columns.columns[j];
        if ((column.marks.is_constant && !column.marks.is_required) ||
            read_selector(view(column.tag), column.tag_cut).names_property) {
            continue;
        }
        warn_about_line(result, {"", kConfigurationFileName}, column.line_number,
                        std::string("the tag '")
                            .append(view(column.tag))
                            .append("' names no vCard property, so the column '")
                            .append(view(column.title))
                            .append("' stays empty in decoding mode"));
    }
}

// What a table that was written may hide from its reader, or lack.
void warn_of_what_the_table_hides(const CardsSeen& seen, std::uint64_t unread, ConfigurationOutcome configuration,
                                  const ColumnTable& columns, const FileInMessage& cards, RunResult& result)
{
    if (configuration == ConfigurationOutcome::missing) {
        warn_about(result, {"configuration file", kConfigurationFileName}, " not found, so the table has no columns");
    }
    if (seen.encoded_values != 0) {
        warn_of_encoded_values(seen, cards, result);
    }
    if (seen.properties_not_taken != 0) {
        warn_of_properties_not_taken(seen, cards, result);
    }
    if (seen.unknown_charset_lines != 0) {
        warn_of_unknown_charsets(seen, cards, result);
    }
    if (unread != 0) {
        warn_about(result, cards,
                   ": line " + std::to_string(seen.eof_byte_line) +
                       " holds the byte 0x1A, which ends a file of text, so the " +
                       counted(unread, "byte after it was", "bytes after it were") +
                       " not read; remove that byte to have them read");
    }
    if (seen.wide_text != WideText::none) {
        warn_of_wide_text(result, cards, seen.wide_text, "no card line can match");
    } else if (seen.card_ends == 0) {
        warn_about(result, cards, " holds no line beginning 'END:', so no card was ended and no data line was written");
    } else if (seen.rows == 0) {
        warn_of_no_rows(seen, columns, cards, result);
    }
}

void convert_cards(FileLayer& files, const RunOptions& options, const RunSettings& settings,
                   const ColumnTable& columns, ConfigurationOutcome configuration, RunResult& result)
{
    const std::string card_name = file_name(view(settings.input_base_name), kCardFileExtension);
    LineReader cards;
    if (!open_cards(files, card_name, cards, result)) {
        return;
    }
    const std::string table_name = file_name(effective_output_base_name(settings), kTableFileExtension);
    TableWriter table;
    if (!open_table(files, table_name, card_name, table, result)) {
        return;
    }
    write_header(table, settings, columns);
    const CardReading reading = options.decode || settings.decode ? CardReading::decoded : CardReading::as_they_stand;
    const CardsSeen seen = scan_cards(cards, table, settings, columns, reading);
    const std::uint64_t unread = count_bytes_after_eof_byte(cards);
    finish_table(cards, card_name, table, table_name, result);
    if (!result.failed) {
        warn_of_what_the_table_hides(seen, unread, configuration, columns, {"card file", card_name}, result);
        if (table.table.room_not_reserved) {
            warn_about(result, {"table file", table_name},
                       " was copied into place without room reserved for it first, which its file system cannot do");
        }
    }
}

} // namespace

RunResult run_conversion(FileLayer& files, const RunOptions& options)
{
    RunResult result;
    RunSettings settings = default_settings();
    ColumnTable columns;
    const ConfigurationOutcome configuration =
        load_configuration(files, settings, columns, result);
    if (configuration != ConfigurationOutcome::failed) {
        if (options.decode || settings.decode) {
            warn_of_tags_naming_no_property(columns, result);
        }
        convert_cards(files, options, settings, columns, configuration, result);
    }
    return result;
}

} // namespace cardtab
