#include "convert/run.hpp"

#include <cstdio>
#include <string>

#include "config/configuration.hpp"
#include "convert/card_scanner.hpp"
#include "convert/csv_output.hpp"
#include "io/line_reader.hpp"
#include "io/table_writer.hpp"

namespace cardtab {

namespace {

std::string file_name(std::string_view base_name, std::string_view extension)
{
    return std::string(base_name).append(extension);
}

// Closes both files and reports the first failure of either.
void finish_files(LineReader& cards, const std::string& card_name, TableWriter& table,
                  const std::string& table_name, RunResult& result)
{
    const IoStatus read = close_line_reader(cards);
    const IoStatus written = close_table_writer(table);
    if (!read.ok) {
        fail_on_file(result, "read card file", card_name, read);
    }
    if (!written.ok) {
        fail_on_file(result, "write table file", table_name, written);
    }
}

// The card file is opened, and read, before the table file is created, so a
// card file that is missing or unreadable leaves an existing table alone.
void convert_cards(FileLayer& files, const RunSettings& settings, ColumnTable& columns, RunResult& result)
{
    const std::string card_name = file_name(view(settings.input_base_name), kCardFileExtension);
    LineReader cards;
    IoStatus status = open_line_reader(cards, files, card_name);
    if (!status.ok) {
        fail_on_file(result, "open card file", card_name, status);
        return;
    }
    status = read_ahead(cards);
    if (!status.ok) {
        fail_on_file(result, "read card file", card_name, status);
        close_line_reader(cards);
        return;
    }
    const std::string table_name = file_name(effective_output_base_name(settings), kTableFileExtension);
    TableWriter table;
    status = create_table_writer(table, files, table_name);
    if (!status.ok) {
        fail_on_file(result, "create table file", table_name, status);
        close_line_reader(cards);
        return;
    }
    write_header(table, settings, columns);
    scan_cards(cards, table, settings, columns);
    finish_files(cards, card_name, table, table_name, result);
}

} // namespace

RunResult run_conversion(FileLayer& files)
{
    RunResult result;
    RunSettings settings = default_settings();
    ColumnTable columns;
    if (load_configuration(files, settings, columns, result)) {
        convert_cards(files, settings, columns, result);
    }
    return result;
}

int report_run(const RunResult& result)
{
    for (const std::string& message : result.messages) {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
    return exit_status(result);
}

} // namespace cardtab
