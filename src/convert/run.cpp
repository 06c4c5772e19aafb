#include "convert/run.hpp"

#include <algorithm>
#include <string>

#include "config/configuration.hpp"
#include "convert/card_files.hpp"
#include "convert/card_scanner.hpp"
#include "convert/csv_output.hpp"
#include "convert/part_queue.hpp"
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
    CardFiles cards;
    std::string table_name;
};

// A cardtab.ini that is there but leads nowhere (a link to a file gone)
// is no missing one: it fails the run, rather than have the one beside the
// program read in its place.
bool refuse_dangling_link(FileLayer& files, std::string_view name, RunResult& result)
{
    const FileFacts facts = files.look_up(name);
    if (!facts.status.ok) {
        fail_on_file(result, "look up configuration file", name, facts.status);
        return true;
    }
    if (facts.final_name == name) {
        return false;
    }
    const OpenResult opened = files.open_for_reading(name);
    if (opened.status.ok) {
        files.close(opened.file);
        return false;
    }
    fail_on_file(result, "open configuration file", name, facts.final_name, opened.status);
    return true;
}

// cardtab.ini in the current folder, or, where there is none, beside the
// program: a file dropped on cardtab.exe starts it in another folder.
// Names in it count from the current folder either way.
void find_configuration(FileLayer& files, RunSetup& setup, ConfigurationFindings& found, RunResult& result)
{
    found.name = kConfigurationFileName;
    setup.configuration = load_configuration(files, setup.settings, setup.columns, found, result);
    if (setup.configuration == ConfigurationOutcome::missing &&
        refuse_dangling_link(files, kConfigurationFileName, result)) {
        setup.configuration = ConfigurationOutcome::failed;
        return;
    }
    found.program_folder = files.program_folder();
    if (setup.configuration == ConfigurationOutcome::missing && !found.program_folder.empty()) {
        const std::string beside = found.program_folder + std::string(kConfigurationFileName);
        setup.configuration = load_configuration(files, setup.settings, setup.columns, found, result, beside);
    }
    found.missing = setup.configuration == ConfigurationOutcome::missing;
}

// The card files the command line or else cardtab.ini names, and the
// table: the one named, or else beside the first card file or folder.
bool name_files(FileLayer& files, const RunOptions& options, RunSetup& setup, RunResult& result)
{
    if (options.cards.empty()) {
        const std::string card_name = file_name(view(setup.settings.input_base_name), kCardFileExtension);
        setup.table_name = file_name(effective_output_base_name(setup.settings), kTableFileExtension);
        return gather_card_files(files, {&card_name, 1}, setup.cards, result);
    }
    if (!gather_card_files(files, options.cards, setup.cards, result)) {
        return false;
    }
    setup.table_name =
        options.table.empty() ? table_beside(options.cards[0], setup.cards.first_is_folder) : options.table;
    if (setup.table_name.empty()) {
        fail(result, "the folder '" + options.cards[0] + "' gives the table no name; name it: cardtab " +
                         options.cards[0] + " contacts.csv");
        return false;
    }
    return true;
}

// A cardtab.ini that gave no column gets the default columns when
// decoding, as a missing one does; what it says of the files, the table's
// character set and the separator stays.
void use_default_columns_for(RunSettings& settings, ColumnTable& columns)
{
    const RunSettings own = settings;
    use_default_decoding_columns(settings, columns);
    settings.input_base_name = own.input_base_name;
    settings.output_base_name = own.output_base_name;
    const RunSettings unset;
    settings.charset = own.charset != unset.charset ? own.charset : settings.charset;
    settings.separator = own.separator != unset.separator ? own.separator : settings.separator;
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
    } else if (setup.configuration != ConfigurationOutcome::missing && setup.columns.count == 0) {
        findings.configuration.no_columns = true;
        if (decode) {
            use_default_columns_for(setup.settings, setup.columns);
            findings.configuration.default_columns = true;
        }
    }
    setup.settings.charset = options.charset.value_or(setup.settings.charset);
    if (decode) {
        findings.tags_naming_no_property = tags_naming_no_property(setup.columns);
    }
    return name_files(files, options, setup, result);
}

void refuse_to_overwrite(RunResult& result, std::string_view written, std::string_view what, std::string_view name)
{
    fail(result, "refusing to write " + std::string(written) + ": it would overwrite the " + std::string(what) + " '" +
                     std::string(name) + "'");
}

// The input of the run that an output leads to, where one does: what it is
// and its name; or a failed look at one.
struct InputHit {
    std::string_view what;
    std::string_view name;
    IoStatus status;
};

// The card file that is `id`, each looked at anew.
InputHit card_file_that_is(FileLayer& files, const CardFiles& cards, const FileId& id)
{
    for (const std::string& name : cards.names) {
        const FileKind kind = files.identify(name);
        if (!kind.status.ok || (kind.exists && kind.id == id)) {
            return {"card file", name, kind.status};
        }
    }
    return {};
}

InputHit input_that_is(FileLayer& files, const FileFacts& output, const RunSetup& setup,
                       const RunFindings& findings)
{
    if (!output.exists) {
        return {};
    }
    // A folder's files are known by their entries; an output with a second
    // name is looked at against each card file itself, lest an entry tell
    // another id than the file does (as an overlay file system may).
    const bool known = setup.cards.ids.count(output.id) != 0;
    if (known || output.links > 1) {
        const InputHit card = card_file_that_is(files, setup.cards, output.id);
        if (!card.what.empty() || known) {
            return card.what.empty() ? InputHit{"card file", setup.cards.names.front(), {}} : card;
        }
    }
    const std::string& configuration = findings.configuration.name;
    const FileFacts facts = files.look_up(configuration);
    if (!facts.status.ok || (facts.exists && facts.id == output.id)) {
        return {"configuration file", configuration, facts.status};
    }
    return {};
}

// Refuses an output (`written`: "table file 'x.csv'") that leads, through
// a link or a shell's redirection, to a card file or the configuration:
// writing it would destroy them.
bool output_spares_inputs(FileLayer& files, const FileFacts& output, std::string_view written,
                          const RunSetup& setup, const RunFindings& findings, RunResult& result)
{
    const InputHit hit = input_that_is(files, output, setup, findings);
    if (!hit.status.ok) {
        fail_on_file(result, "open " + std::string(hit.what), hit.name, hit.status);
    } else if (!hit.what.empty()) {
        refuse_to_overwrite(result, written, hit.what, hit.name);
    }
    return hit.what.empty();
}

// Standard error that leads to an input (cardtab c.vcf 2>>c.vcf) would
// have the messages written into it: the run fails before it writes
// anything, and says nothing, since it can say nothing anywhere else.
bool error_output_spares_inputs(FileLayer& files, const RunSetup& setup, const RunFindings& findings,
                                RunResult& result)
{
    const FileFacts errors = files.look_up_descriptor(kStandardError);
    if (!errors.status.ok) {
        fail(result, "cannot look up standard error: " + errors.status.reason);
        return false;
    }
    if (!errors.regular) {
        return true;
    }
    if (output_spares_inputs(files, errors, "messages to standard error", setup, findings, result)) {
        return true;
    }
    result.silent = true;
    return false;
}

// The card file is opened, and read, before the table is touched, so a card
// file that is missing or cannot be read leaves an existing table alone. A
// later card file is opened in the reader of the one before.
bool open_cards(FileLayer& files, const std::string& card_name, LineReader& cards, RunResult& result,
                bool after_another = false)
{
    IoStatus status = after_another ? reopen_line_reader(cards, files, card_name)
                                    : open_line_reader(cards, files, card_name);
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

// Decoding reads the cards as text, whatever their encoding and line ends.
bool open_first_cards(FileLayer& files, const RunSetup& setup, LineReader& cards, RunResult& result)
{
    cards.reads_as_text = setup.reading == CardReading::decoded;
    return open_cards(files, setup.cards.names.front(), cards, result);
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
    if (table.name == kStandardOutputName) {
        fail(result, std::string("cannot ")
                         .append(status.busy ? "lock" : action)
                         .append(" the table on standard output: ")
                         .append(status.reason));
    } else if (status.busy) {
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
    const std::string written =
        to_standard_output ? "the table to standard output" : "table file '" + table_name + "'";
    if (!output_spares_inputs(files, facts, written, setup, findings, result)) {
        return false;
    }
    table.table.name = table_name;
    table.table.lock_wait = lock_wait;
    // Room for several of the longest rows, so that the buffer is written
    // out in large pieces whatever a row may take.
    constexpr std::size_t kRowsAWrite = 4;
    const IoStatus created =
        create_table_writer(table, files, facts, std::max(kWriteChunkBytes, kRowsAWrite * row_room));
    if (!created.ok) {
        fail_on_table(result, "create", table.table, created);
        return false;
    }
    return true;
}

// The card files after the first, opened in the scan's reader as their
// turn comes; what the scan found in each is added up. The first that
// cannot be opened or read fails the run.
struct RunCardFiles final : NextCardFile {
    RunCardFiles(FileLayer& layer, const std::vector<std::string>& card_names, CardFindings& all, RunResult& run)
        : files(layer), names(card_names), total(all), result(run)
    {
    }
    FileLayer& files;
    const std::vector<std::string>& names;
    CardFindings& total;
    RunResult& result;
    std::size_t current = 0;
    bool failed = false;

    bool file_ended(LineReader& cards, const CardFindings& found, bool more_wanted) override
    {
        add_file_findings(total, found, current);
        if (const IoStatus read = close_line_reader(cards); !read.ok) {
            fail_on_file(result, "read card file", names[current], read);
            failed = true;
            return false;
        }
        if (!more_wanted || ++current == names.size()) {
            return false;
        }
        failed = !open_cards(files, names[current], cards, result, true);
        return !failed;
    }
};

// Scans each card file in turn; the first is open already, before the
// table was touched. False where one could not be opened or read.
bool read_card_files(FileLayer& files, const RunSetup& setup, LineReader& first, ScanOutput output,
                     CardFindings& found, RunResult& result)
{
    RunCardFiles next(files, setup.cards.names, found, result);
    CardFindings file;
    scan_cards(first, setup.settings, setup.columns, setup.reading, output, file, next);
    return !next.failed;
}

// Only a table written whole, from card files read to their ends, takes
// the old table's place. A table not put in place is discarded with its
// writer.
void finish_table(TableWriter& table, RunResult& result)
{
    const IoStatus written = close_table_writer(table);
    if (!written.ok) {
        fail_on_table(result, "write", table.table, written);
    } else if (const IoStatus replaced = commit_table(table); !replaced.ok) {
        fail_on_table(result, "replace", table.table, replaced);
    } else if (!table.table.left_behind.empty()) {
        fail_on_file(result, "remove the temporary copy of the table", table.table.left_behind,
                     table.table.left_behind_because);
    }
}

bool is_plain_name(std::string_view name)
{
    return name.find_first_of(" \t\"'&;|<>()$`") == std::string_view::npos && !name.starts_with('-');
}

// The command that lists the tags of this run's card files, as the user
// would type it.
std::string listing_command(const RunOptions& options)
{
    std::string command = options.decode || options.outlook ? "cardtab --decode --tags" : "cardtab --tags";
    if (!std::all_of(options.cards.begin(), options.cards.end(), is_plain_name)) {
        command.append(" --");
    }
    for (const std::string& name : options.cards) {
        const bool plain = is_plain_name(name);
        command.append(plain ? " " : " \"").append(name).append(plain ? "" : "\"");
    }
    return command;
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
    ScanSpread spread = options.spread;
    spread.threads = spread.threads == 0 ? scan_threads_of_machine() : spread.threads;
    if (read_card_files(files, setup, cards, {&table, &texts, nullptr, spread}, findings.cards, result)) {
        finish_table(table, result);
    }
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


// The card files the warnings name: those read, or, where the run failed
// before it knew them, the first named.
std::span<const std::string> card_names_of(const RunSetup& setup, const RunOptions& options,
                                           std::string& fallback)
{
    if (!setup.cards.names.empty()) {
        return setup.cards.names;
    }
    fallback = options.cards.empty() ? file_name(view(setup.settings.input_base_name), kCardFileExtension)
                                     : options.cards.front();
    return {&fallback, 1};
}

// One whole run: the configuration, then the card files, then the table
// or, where `tags` is given, the tags of their lines counted; then what it
// found.
RunResult run(FileLayer& files, const RunOptions& options, TagCounts* tags)
{
    RunResult result;
    RunSetup setup;
    RunFindings findings;
    LineReader cards;
    std::string fallback_name;
    if (prepare_run(files, options, setup, findings, result) &&
        error_output_spares_inputs(files, setup, findings, result) &&
        (tags == nullptr || output_can_take_tags(files, setup, findings, result)) &&
        open_first_cards(files, setup, cards, result)) {
        if (tags == nullptr) {
            convert_cards(files, options, setup, cards, findings, result);
        } else {
            read_card_files(files, setup, cards, {nullptr, nullptr, tags, {}}, findings.cards, result);
        }
    }
    const RunFacts facts{setup.columns,         setup.settings.separator, card_names_of(setup, options, fallback_name),
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
