#include "convert/run.hpp"

#include <string>

#include "config/configuration.hpp"
#include "convert/card_scanner.hpp"
#include "convert/csv_output.hpp"
#include "vcard/selectors.hpp"
#include "vcard/tag_listing.hpp"
#include "text/text.hpp"

namespace cardtab {

namespace {

std::string file_name(std::string_view base_name, std::string_view extension)
{
    return std::string(base_name).append(extension);
}

// What a run works out before it reads a card.
struct RunSetup {
    RunSettings settings = default_settings();
    ColumnTable columns;
    ConfigurationOutcome configuration = ConfigurationOutcome::missing;
    // The configuration read, or, where there is none, the one looked for
    // first; and the program's folder, where it was looked for next.
    std::string configuration_name = std::string(kConfigurationFileName);
    std::string program_folder;
    // No configuration was found, and decoding gave the table its columns.
    bool default_columns = false;
    CardReading reading = CardReading::as_they_stand;
    std::string card_name;
    std::string table_name;
};

// cardtab.ini in the current folder, or, where there is none, beside the
// program: a file dropped on cardtab.exe starts it in another folder.
// Names in it count from the current folder either way.
void find_configuration(FileLayer& files, RunSetup& setup, RunResult& result)
{
    setup.configuration = load_configuration(files, setup.settings, setup.columns, result);
    setup.program_folder = files.program_folder();
    if (setup.configuration != ConfigurationOutcome::missing || setup.program_folder.empty()) {
        return;
    }
    const std::string beside = setup.program_folder + std::string(kConfigurationFileName);
    setup.configuration = load_configuration(files, setup.settings, setup.columns, result, beside);
    if (setup.configuration != ConfigurationOutcome::missing) {
        setup.configuration_name = beside;
    }
}

// A named card file's table lies beside it: its name less a final ".vcf",
// in any letter case, and ".csv" after.
std::string table_beside(std::string_view cards)
{
    constexpr std::string_view kVcf = ".VCF";
    const std::size_t kept = cards.size() - (ends_in_any_case(cards, kVcf) ? kVcf.size() : 0);
    return file_name(cards.substr(0, kept), kTableFileExtension);
}

void name_files(const RunOptions& options, RunSetup& setup)
{
    if (options.cards.empty()) {
        setup.card_name = file_name(view(setup.settings.input_base_name), kCardFileExtension);
        setup.table_name = file_name(effective_output_base_name(setup.settings), kTableFileExtension);
        return;
    }
    setup.card_name = options.cards;
    setup.table_name = options.table.empty() ? table_beside(options.cards) : options.table;
}

// The configuration, the columns, how the cards are read and the names.
bool prepare_run(FileLayer& files, const RunOptions& options, RunSetup& setup, RunResult& result)
{
    find_configuration(files, setup, result);
    if (setup.configuration == ConfigurationOutcome::failed) {
        return false;
    }
    const bool decode = options.decode || setup.settings.decode;
    setup.reading = decode ? CardReading::decoded : CardReading::as_they_stand;
    if (setup.configuration == ConfigurationOutcome::missing && decode) {
        use_default_decoding_columns(setup.settings, setup.columns);
        setup.default_columns = true;
    }
    name_files(options, setup);
    return true;
}

// Refuses an output (`written`: "table file 'x.csv'") that leads, through
// a link or a shell's redirection, to the card file or the configuration:
// writing it would destroy them.
bool output_spares_inputs(FileLayer& files, const FileFacts& table, std::string_view written, const RunSetup& setup,
                          RunResult& result)
{
    if (!table.exists) {
        return true;
    }
    const struct {
        std::string_view what;
        std::string_view name;
    } inputs[] = {{"card file", setup.card_name}, {"configuration file", setup.configuration_name}};
    for (const auto& input : inputs) {
        const FileFacts facts = files.look_up(input.name);
        if (!facts.status.ok) {
            fail_on_file(result, "open " + std::string(input.what), input.name, facts.status);
            return false;
        }
        if (facts.exists && facts.id == table.id) {
            fail(result, "refusing to write " + std::string(written) + ": it would overwrite the " +
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

// A failure of a file among the system's temporary files names it, not the
// table, whose own disk may well have room.
void fail_on_temporary_file(RunResult& result, std::string_view action, const NewTable& table,
                            const IoStatus& status)
{
    fail(result, std::string("cannot ")
                     .append(action)
                     .append(" temporary file in '")
                     .append(table.temporary_folder)
                     .append("' (")
                     .append(kTemporaryFolderSetting)
                     .append(") for table '")
                     .append(table.name)
                     .append("': ")
                     .append(status.reason));
}

// A failure on the table: another program holding it, the temporary file,
// or the table itself.
void fail_on_table(RunResult& result, std::string_view action, const NewTable& table, const IoStatus& status)
{
    if (status.busy) {
        fail_on_file(result, "lock table file", table.name, table.target, status);
    } else if (table.among_temporary_files && action != "replace") {
        fail_on_temporary_file(result, action, table, status);
    } else {
        fail_on_file(result, std::string(action).append(" table file"), table.name, table.target, status);
    }
}

// The table "-" is standard output, written through the descriptor.
bool open_table(FileLayer& files, const RunSetup& setup, const LockWait& lock_wait, TableWriter& table,
                RunResult& result)
{
    const std::string& table_name = setup.table_name;
    const bool to_standard_output = table_name == kStandardOutputName;
    FileFacts facts = to_standard_output ? files.look_up_descriptor(kStandardOutput) : files.look_up(table_name);
    if (to_standard_output) {
        facts.final_name = table_name;
    }
    if (!facts.status.ok) {
        fail_on_file(result, "create table file", table_name, facts.status);
        return false;
    }
    if (!output_spares_inputs(files, facts, "table file '" + table_name + "'", setup, result)) {
        return false;
    }
    table.table.name = table_name;
    table.table.lock_wait = lock_wait;
    const IoStatus created = create_table_writer(table, files, facts);
    if (!created.ok) {
        fail_on_table(result, "create", table.table, created);
        return false;
    }
    return true;
}

// Only a table written whole, from a card file read to its end, takes the
// old table's place. A table not put in place is discarded with its writer.
void finish_table(LineReader& cards, const std::string& card_name, TableWriter& table, RunResult& result)
{
    const IoStatus read = close_line_reader(cards);
    const IoStatus written = close_table_writer(table);
    if (!read.ok) {
        fail_on_file(result, "read card file", card_name, read);
    } else if (!written.ok) {
        fail_on_table(result, "write", table.table, written);
    } else if (const IoStatus replaced = commit_table(table); !replaced.ok) {
        fail_on_table(result, "replace", table.table, replaced);
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
bool names_no_property(const Column& column)
{
    return !read_selector(view(column.tag), column.tag_cut).names_property;
}

void warn_of_tags_naming_no_property(const RunSetup& setup, RunResult& result)
{
    for (std::size_t j = 0; j < setup.columns.count; ++j) {
        const Column& column = setup.columns.columns[j];
        if ((column.marks.is_constant && !column.marks.is_required) || !names_no_property(column)) {
            continue;
        }
        warn_about_line(result, {"", setup.configuration_name}, column.line_number,
                        std::string("the tag '")
                            .append(view(column.tag))
                            .append("' names no vCard property, so the column '")
                            .append(view(column.title))
                            .append("' stays empty in decoding mode"));
    }
}

// The command that lists the tags of this run's card file, as the user
// would type it.
std::string listing_command(const RunOptions& options)
{
    std::string command = options.decode ? "cardtab --decode --tags" : "cardtab --tags";
    if (options.cards.empty()) {
        return command;
    }
    const bool plain = options.cards.find_first_of(" \t\"'&;|<>()$`") == std::string::npos &&
                       !options.cards.starts_with('-');
    return command.append(plain ? " " : " -- \"").append(options.cards).append(plain ? "" : "\"");
}

std::string column_titles(const ColumnTable& columns)
{
    std::string titles;
    for (std::size_t j = 0; j < columns.count; ++j) {
        titles.append(j == 0 ? "" : ", ").append(view(columns.columns[j].title));
    }
    return titles;
}

void warn_of_missing_configuration(const RunSetup& setup, const RunOptions& options, RunResult& result)
{
    std::string text = " not found in the current folder";
    if (!setup.program_folder.empty()) {
        text.append(" or in '").append(setup.program_folder).append("'");
    }
    const std::string listing = std::string("'").append(listing_command(options)).append("'");
    if (setup.default_columns) {
        text.append(", so the table has the decoding mode's own columns, separated by '")
            .append(1, setup.settings.separator)
            .append("' (")
            .append(column_titles(setup.columns))
            .append("); run ")
            .append(listing)
            .append(" to see which tags the cards hold, and choose other columns in a cardtab.ini");
    } else {
        text.append(", so the table has no columns; run ").append(listing).append(" to see which tags the cards hold");
    }
    warn_about(result, {"configuration file", kConfigurationFileName}, text);
}

// A column that no line matched is most likely a misspelt tag. The card
// file's own troubles (no card, wide text) are said instead; constant
// columns show their tags; and a tag that names no property when decoding,
// or a required column that left the table without rows, has had its
// warning.
void warn_of_tags_never_taken(const CardsSeen& seen, const RunSetup& setup, const RunOptions& options,
                              RunResult& result)
{
    if (setup.default_columns || seen.card_ends == 0 || seen.wide_text != WideText::none) {
        return;
    }
    for (std::size_t j = 0; j < setup.columns.count; ++j) {
        const Column& column = setup.columns.columns[j];
        const bool said = (setup.reading == CardReading::decoded && names_no_property(column)) ||
                          (seen.rows == 0 && (seen.required_never_filled >> j & 1) != 0);
        if ((seen.columns_taken >> j & 1) != 0 || column.marks.is_constant || said) {
            continue;
        }
        warn(result, std::string("column '")
                         .append(view(column.title))
                         .append("' (tag '")
                         .append(view(column.tag))
                         .append("'): no line of the card file has this tag; '")
                         .append(listing_command(options))
                         .append("' lists the tags the cards hold"));
    }
}

void warn_of_cut_values(const CardsSeen& seen, const ColumnTable& columns, const FileInMessage& cards,
                        RunResult& result)
{
    const std::size_t count = seen.cut_values;
    warn_about(result, cards,
               ": " + counted(count, "value was", "values were") + " longer than " + std::to_string(kMaxValueBytes) +
                   " bytes and " + std::string(by_count(count, "was", "were")) + " cut (" +
                   std::string(by_count(count, "in", "the first in")) + " column '" +
                   std::string(view(columns.columns[seen.first_cut_column].title)) + "', line " +
                   std::to_string(seen.first_cut_line) + ")");
}

// What a table that was written may hide from its reader, or lack.
void warn_of_what_the_table_hides(const CardsSeen& seen, std::uint64_t unread, const RunSetup& setup,
                                  const RunOptions& options, RunResult& result)
{
    const FileInMessage cards = {"card file", setup.card_name};
    if (setup.configuration == ConfigurationOutcome::missing) {
        warn_of_missing_configuration(setup, options, result);
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
    if (seen.cut_values != 0) {
        warn_of_cut_values(seen, setup.columns, cards, result);
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
        warn_of_no_rows(seen, setup.columns, cards, result);
    }
    warn_of_tags_never_taken(seen, setup, options, result);
}

void convert_cards(FileLayer& files, const RunOptions& options, const RunSetup& setup, RunResult& result)
{
    LineReader cards;
    if (!open_cards(files, setup.card_name, cards, result)) {
        return;
    }
    TableWriter table;
    if (!open_table(files, setup, options.lock_wait, table, result)) {
        return;
    }
    write_header(table, setup.settings, setup.columns);
    const CardsSeen seen = scan_cards(cards, table, setup.settings, setup.columns, setup.reading);
    const std::uint64_t unread = count_bytes_after_eof_byte(cards);
    finish_table(cards, setup.card_name, table, result);
    if (!result.failed) {
        warn_of_what_the_table_hides(seen, unread, setup, options, result);
        if (table.table.room_not_reserved) {
            warn_about(result, {"table file", setup.table_name},
                       " was copied into place without room reserved for it first, which its file system cannot do");
        }
    }
}

// Standard output must be open, and no input of the run.
bool output_can_take_tags(FileLayer& files, const RunSetup& setup, RunResult& result)
{
    constexpr std::string_view kTagsWritten = "the tags to standard output";
    const FileFacts output = files.look_up_descriptor(kStandardOutput);
    if (!output.status.ok) {
        fail(result, "cannot write " + std::string(kTagsWritten) + ": " + output.status.reason);
        return false;
    }
    return output_spares_inputs(files, output, kTagsWritten, setup, result);
}

} // namespace

RunResult run_conversion(FileLayer& files, const RunOptions& options)
{
    RunResult result;
    RunSetup setup;
    if (prepare_run(files, options, setup, result)) {
        if (setup.reading == CardReading::decoded) {
            warn_of_tags_naming_no_property(setup, result);
        }
        convert_cards(files, options, setup, result);
    }
    return result;
}

TagListing list_tags(FileLayer& files, const RunOptions& options)
{
    TagListing listing;
    RunSetup setup;
    LineReader cards;
    if (!prepare_run(files, options, setup, listing.result) || !output_can_take_tags(files, setup, listing.result) ||
        !open_cards(files, setup.card_name, cards, listing.result)) {
        return listing;
    }
    TagCounts counts;
    count_tags(cards, setup.reading, counts);
    const WideText wide = wide_text_of(cards);
    if (const IoStatus read = close_line_reader(cards); !read.ok) {
        fail_on_file(listing.result, "read card file", setup.card_name, read);
        return listing;
    }
    warn_of_wide_text(listing.result, {"card file", setup.card_name}, wide, "no tag can be read");
    listing.lines = tag_listing(counts);
    return listing;
}

} // namespace cardtab
