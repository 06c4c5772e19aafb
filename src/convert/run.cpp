#include "convert/run.hpp"

#include <algorithm>
#include <string>

#include "config/configuration.hpp"
#include "convert/card_scanner.hpp"
#include "convert/csv_output.hpp"
#include "result/warnings.hpp"
#include "text/text.hpp"
#include "vcard/selectors.hpp"
#include "vcard/tag_listing.hpp"

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
    CardReading reading = CardReading::as_they_stand;
    std::string card_name;
    std::string table_name;
};

// cardtab.ini in the current folder, or, where there is none, beside the
// program: a file dropped on cardtab.exe starts it in another folder.
// Names in it count from the current folder either way.
void find_configuration(FileLayer& files, RunSetup& setup, ConfigurationFindings& found, RunResult& result)
{
    found.name = kConfigurationFileName;
    setup.configuration = load_configuration(files, setup.settings, setup.columns, found, result);
    found.program_folder = files.program_folder();
    if (setup.configuration == ConfigurationOutcome::missing && !found.program_folder.empty()) {
        const std::string beside = found.program_folder + std::string(kConfigurationFileName);
        setup.configuration = load_configuration(files, setup.settings, setup.columns, found, result, beside);
    }
    found.missing = setup.configuration == ConfigurationOutcome::missing;
}

// A named card file's table lies beside it: its name less a final ".vcf",
// in any letter case, and ".csv" after.
std::string table_beside(std::string_view cards)
{
    const std::size_t kept =
        cards.size() - (ends_in_any_case(cards, kCardFileExtension) ? kCardFileExtension.size() : 0);
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

// Decoding reads a column's tag as the vCard property it names. A tag that
// names none leaves its column empty; a constant column's tag, which is
// text to show, is left alone unless the column is also required.
ColumnSet tags_naming_no_property(const ColumnTable& columns)
{
    ColumnSet none = 0;
    for (std::size_t j = 0; j < columns.count; ++j) {
        const Column& column = columns.columns[j];
        const bool shown_as_text = column.marks.is_constant && !column.marks.is_required;
        if (!shown_as_text && !read_selector(view(column.tag), column.tag_cut).names_property) {
            none |= ColumnSet{1} << j;
        }
    }
    return none;
}

// The configuration, the columns, how the cards are read and the names.
bool prepare_run(FileLayer& files, const RunOptions& options, RunSetup& setup, RunFindings& findings,
                 RunResult& result)
{
    find_configuration(files, setup, findings.configuration, result);
    if (setup.configuration == ConfigurationOutcome::failed) {
        return false;
    }
    const bool decode = options.decode || options.outlook || setup.settings.decode;
    setup.reading = decode ? CardReading::decoded : CardReading::as_they_stand;
    if (options.outlook) {
        use_outlook_columns(setup.settings, setup.columns);
        findings.configuration.missing = false;
        findings.configuration.outlook_columns = true;
    } else if (setup.configuration == ConfigurationOutcome::missing && decode) {
        use_default_decoding_columns(setup.settings, setup.columns);
        findings.configuration.default_columns = true;
    }
    setup.settings.charset = options.charset.value_or(setup.settings.charset);
    if (decode) {
        findings.tags_naming_no_property = tags_naming_no_property(setup.columns);
    }
    name_files(options, setup);
    return true;
}

// Refuses an output (`written`: "table file 'x.csv'") that leads, through
// a link or a shell's redirection, to the card file or the configuration:
// writing it would destroy them.
bool output_spares_inputs(FileLayer& files, const FileFacts& table, std::string_view written, const RunSetup& setup,
                          const RunFindings& findings, RunResult& result)
{
    if (!table.exists) {
        return true;
    }
    const struct {
        std::string_view what;
        std::string_view name;
    } inputs[] = {{"card file", setup.card_name}, {"configuration file", findings.configuration.name}};
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
bool open_table(FileLayer& files, const RunSetup& setup, const RunFindings& findings, const LockWait& lock_wait,
                std::size_t row_room, TableWriter& table, RunResult& result)
{
    const std::string& table_name = setup.table_name;
    const bool to_standard_output = table_name == kStandardOutputName;
    FileFacts facts = to_standard_output ? files.look_up_descriptor(kStandardOutput) : files.look_up(table_name);
    if (to_standard_output) {
        facts.final_name = table_name;
    }
    if (!facts.status.ok && to_standard_output) {
        fail(result, "cannot write the table to standard output: " + facts.status.reason);
        return false;
    }
    if (!facts.status.ok) {
        fail_on_file(result, "look up table file", table_name, facts.status);
        return false;
    }
    if (!output_spares_inputs(files, facts, "table file '" + table_name + "'", setup, findings, result)) {
        return false;
    }
    table.table.name = table_name;
    table.table.lock_wait = lock_wait;
    // Room for several of the longest rows, so that the buffer is written
    // out in large pieces whatever a row may take.
    constexpr std::size_t kRowsAWrite = 4;
    const IoStatus created = create_table_writer(table, files, facts, std::max(kWriteChunkBytes, kRowsAWrite * row_room));
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

// The command that lists the tags of this run's card file, as the user
// would type it.
std::string listing_command(const RunOptions& options)
{
    std::string command = options.decode || options.outlook ? "cardtab --decode --tags" : "cardtab --tags";
    if (options.cards.empty()) {
        return command;
    }
    const bool plain = options.cards.find_first_of(" \t\"'&;|<>()$`") == std::string::npos &&
                       !options.cards.starts_with('-');
    return command.append(plain ? " " : " -- \"").append(options.cards).append(plain ? "" : "\"");
}

void convert_cards(FileLayer& files, const RunOptions& options, const RunSetup& setup, LineReader& cards,
                   RunFindings& findings, RunResult& result)
{
    TableWriter table;
    const TableTexts texts = table_texts(setup.settings, setup.columns, value_capacity(setup.reading));
    if (!open_table(files, setup, findings, options.lock_wait, texts.row_room, table, result)) {
        return;
    }
    write_header(table, setup.settings, setup.columns, texts);
    scan_cards(cards, setup.settings, setup.columns, setup.reading, {&table, &texts, nullptr}, findings.cards);
    finish_table(cards, setup.card_name, table, result);
    findings.room_not_reserved = table.table.room_not_reserved;
}

// Standard output must be open, and no input of the run.
bool output_can_take_tags(FileLayer& files, const RunSetup& setup, const RunFindings& findings, RunResult& result)
{
    constexpr std::string_view kTagsWritten = "the tags to standard output";
    const FileFacts output = files.look_up_descriptor(kStandardOutput);
    if (!output.status.ok) {
        fail(result, "cannot write " + std::string(kTagsWritten) + ": " + output.status.reason);
        return false;
    }
    return output_spares_inputs(files, output, kTagsWritten, setup, findings, result);
}

// The tags of the cards' lines counted as the scan reads them.
void count_tags(LineReader& cards, const RunSetup& setup, TagCounts& tags, CardFindings& found, RunResult& result)
{
    scan_cards(cards, setup.settings, setup.columns, setup.reading, {nullptr, nullptr, &tags}, found);
    if (const IoStatus read = close_line_reader(cards); !read.ok) {
        fail_on_file(result, "read card file", setup.card_name, read);
    }
}

// One whole run: the configuration, then the card file, then the table or,
// where `tags` is given, the tags of its lines counted; then what it found.
RunResult run(FileLayer& files, const RunOptions& options, TagCounts* tags)
{
    RunResult result;
    RunSetup setup;
    RunFindings findings;
    LineReader cards;
    if (prepare_run(files, options, setup, findings, result) &&
        (tags == nullptr || output_can_take_tags(files, setup, findings, result)) &&
        open_cards(files, setup.card_name, cards, result)) {
        if (tags == nullptr) {
            convert_cards(files, options, setup, cards, findings, result);
        } else {
            count_tags(cards, setup, *tags, findings.cards, result);
        }
    }
    const RunFacts facts{setup.columns,         setup.settings.separator, setup.card_name,
                         setup.table_name,      listing_command(options), setup.reading == CardReading::decoded,
                         tags != nullptr};
    say_findings(findings, facts, result);
    return result;
}

} // namespace

RunResult run_conversion(FileLayer& files, const RunOptions& options)
{
    return run(files, options, nullptr);
}

TagListing list_tags(FileLayer& files, const RunOptions& options)
{
    TagListing listing;
    TagCounts tags;
    listing.result = run(files, options, &tags);
    if (!listing.result.failed) {
        listing.lines = tag_listing(tags);
    }
    return listing;
}

} // namespace cardtab
