#include "support/checks.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/configuration.hpp"
#include "convert/run.hpp"
#include "io/line_reader.hpp"
#include "support/memory_files.hpp"

namespace cardtab::fuzzing {

namespace {

using testing::MemoryFiles;

void require(bool holds, const char* promise)
{
    if (!holds) {
        std::fprintf(stderr, "broken promise: %s\n", promise);
        std::abort();
    }
}

std::string card_file_name(std::string_view configuration)
{
    MemoryFiles files;
    files.files[std::string(kConfigurationFileName)] = std::string(configuration);
    RunSettings settings = default_settings();
    ColumnTable columns;
    RunResult ignored;
    load_configuration(files, settings, columns, ignored);
    return std::string(view(settings.input_base_name)) + std::string(kCardFileExtension);
}

// Splits one table line into fields as a CSV reader would: a field between
// quotes ends at a quote not doubled; a bare field at the separator.
std::size_t count_fields(std::string_view line, char separator)
{
    std::size_t fields = 1;
    std::size_t at = 0;
    while (at <= line.size()) {
        if (at < line.size() && line[at] == '"') {
            for (++at; at < line.size(); ++at) {
                if (line[at] == '"' && (at + 1 == line.size() || line[at + 1] != '"')) {
                    break;
                }
                at += line[at] == '"' ? 1u : 0u;
            }
            require(at < line.size(), "a quoted field is closed");
            ++at;
            require(at == line.size() || line[at] == separator, "a quoted field ends at a separator");
        } else {
            while (at < line.size() && line[at] != separator) {
                require(line[at] != '"', "a bare field holds no quote");
                ++at;
            }
        }
        if (at == line.size()) {
            break;
        }
        ++fields;
        ++at;
    }
    return fields;
}

void check_table(std::string_view table, char separator, std::size_t columns)
{
    require(table.size() >= 2 && table.substr(table.size() - 2) == "\r\n", "the table ends in CR LF");
    for (std::size_t start = 0; start < table.size();) {
        const std::size_t end = table.find("\r\n", start);
        const std::string_view line = table.substr(start, end - start);
        require(line.find('\n') == std::string_view::npos, "every line feed follows a CR");
        require(count_fields(line, separator) == (columns == 0 ? 1 : columns), "each line has a field a column");
        start = end + 2;
    }
}

} // namespace

void check_conversion(std::string_view input)
{
    const std::size_t choice = input.size() >= 2 ? static_cast<unsigned char>(input[0]) |
                                                       (std::size_t{static_cast<unsigned char>(input[1])} << 8)
                                                 : 0;
    const std::string_view rest = input.substr(std::min<std::size_t>(input.size(), 2));
    const std::size_t split = choice % (rest.size() + 1);
    const std::string configuration(rest.substr(0, split));
    const std::string cards(rest.substr(split));

    MemoryFiles files;
    if (!configuration.empty()) {
        files.files[std::string(kConfigurationFileName)] = configuration;
    }
    const std::string card_name = card_file_name(configuration);
    files.files[card_name] = cards;
    const RunResult result = run_conversion(files);

    require(files.open_count() == 0, "every file is closed");
    require(files.new_files_left() == 0, "no new table file is left behind");
    require(files.files[card_name] == cards, "the card file is never written");
    require(configuration.empty() || files.files[std::string(kConfigurationFileName)] == configuration,
            "the configuration is never written");
    if (result.failed) {
        require(!result.messages.empty() && result.messages.back().rfind("cardtab: ", 0) == 0,
                "a failure says what failed");
        return;
    }
    MemoryFiles probe;
    probe.files[std::string(kConfigurationFileName)] = configuration;
    RunSettings settings = default_settings();
    ColumnTable columns;
    RunResult ignored;
    load_configuration(probe, settings, columns, ignored);
    const std::string table_name = std::string(effective_output_base_name(settings)) + ".csv";
    require(files.files.count(table_name) == 1, "a successful run writes its table");
    check_table(files.files[table_name], settings.separator, columns.count);
}

namespace {

// The text-mode rules written as plainly as possible.
std::vector<std::string> model_pieces(std::string_view bytes)
{
    std::string translated;
    for (std::size_t at = 0; at < bytes.size() && bytes[at] != '\x1A'; ++at) {
        const bool cr_lf = bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n';
        at += cr_lf ? 1u : 0u;
        translated += cr_lf ? '\n' : bytes[at];
    }
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < translated.size();) {
        std::size_t length = 0;
        while (length < kMaxPieceBytes && at + length < translated.size() && translated[at + length++] != '\n') {
        }
        const std::string piece = translated.substr(at, length);
        pieces.push_back(piece.substr(0, piece.find('\0')));
        at += length;
    }
    return pieces;
}

std::vector<std::string> read_pieces(std::string_view bytes, std::size_t chunk_bytes, std::size_t read_limit)
{
    MemoryFiles files;
    files.files["f"] = std::string(bytes);
    files.read_limit = read_limit;
    LineReader reader;
    require(open_line_reader(reader, files, "f", chunk_bytes).ok, "the file opens");
    std::vector<std::string> pieces;
    while (read_line(reader)) {
        require(reader.text_length <= kMaxPieceBytes, "a piece holds at most 1,999 bytes");
        pieces.emplace_back(line_text(reader));
    }
    require(close_line_reader(reader).ok, "the file closes");
    return pieces;
}

} // namespace

void check_line_reader(std::string_view input)
{
    const std::vector<std::string> expected = model_pieces(input);
    constexpr std::size_t kChunks[] = {1, 3, 7, 64, 1999, 2000, 4096, kReadChunkBytes};
    for (const std::size_t chunk : kChunks) {
        require(read_pieces(input, chunk, chunk) == expected, "pieces do not depend on the buffer size");
    }
    require(read_pieces(input, kReadChunkBytes, 5) == expected, "pieces do not depend on the read length");
}

} // namespace cardtab::fuzzing
