#include "config/configuration.hpp"

#include <array>
#include <string>

#include "io/line_reader.hpp"
#include "text/text.hpp"

namespace cardtab {

namespace {

// A line that is one of these bytes, or a run of neighbours in this text,
// with no line feed after it sets the separator.
constexpr std::string_view kSeparatorSet = "|!/#$&?=-+,.:;<>()[]{}";

struct ConfigReading {
    RunSettings& settings;
    ColumnTable& columns;
    RunResult& result;
    std::size_t line_number = 0;
    std::size_t ignored_columns = 0;
    std::size_t first_ignored_line = 0;
};

std::string line_prefix(const ConfigReading& reading)
{
    return std::string(kConfigurationFileName) + ": line " + std::to_string(reading.line_number) + ": ";
}

// Sets a base name from the bytes before the extension found at `at`.
// A name too long for the records is refused: shortening it would read or
// write a file that nobody named.
bool set_base_name(ConfigReading& reading, BaseName& base_name, std::string_view line, std::ptrdiff_t at,
                   std::string_view what)
{
    const std::string_view name = take_span(line, 0, static_cast<std::size_t>(at));
    if (name.size() > kMaxBaseNameBytes) {
        fail(reading.result, line_prefix(reading) + std::string(what) + " name is longer than " +
                                 std::to_string(kMaxBaseNameBytes) + " bytes");
        return false;
    }
    assign(base_name, name);
    return true;
}

void add_configured_column(ConfigReading& reading, std::string_view title, std::string_view tag)
{
    if (reading.columns.count == kMaxColumns) {
        if (reading.ignored_columns++ == 0) {
            reading.first_ignored_line = reading.line_number;
        }
        return;
    }
    if (title.size() > kMaxTitleBytes) {
        warn(reading.result, line_prefix(reading) + "title longer than " + std::to_string(kMaxTitleBytes) +
                                 " bytes; shortened to its first " + std::to_string(kMaxTitleBytes));
        title = take_span(title, 0, kMaxTitleBytes);
    }
    add_column(reading.columns, title, tag);
}

// Applies one line; the first kind that fits decides. Returns false when the
// line refuses the run.
bool apply_line(ConfigReading& reading, std::string_view line)
{
    std::array<char, kLineBufferBytes> upper_bytes;
    line.copy(upper_bytes.data(), line.size());
    upper_ascii(std::span<char>(upper_bytes.data(), line.size()));
    const std::string_view upper(upper_bytes.data(), line.size());

    if (const std::ptrdiff_t at = find_text(upper, ".VCF", 0); at != kNotFound) {
        return set_base_name(reading, reading.settings.input_base_name, line, at, "card file");
    }
    if (const std::ptrdiff_t at = find_text(upper, ".CSV", 0); at != kNotFound) {
        return set_base_name(reading, reading.settings.output_base_name, line, at, "table file");
    }
    if (find_text(kSeparatorSet, line, 0) != kNotFound) {
        reading.settings.separator = line.front();
        return true;
    }
    if (const std::ptrdiff_t equals = find_text(line, "=", 0); equals != kNotFound) {
        const auto split = static_cast<std::size_t>(equals);
        add_configured_column(reading, take_span(line, 0, split),
                              trim_right(take_span(line, split + 1, kMaxTagBytes)));
        return true;
    }
    const std::string_view bare = trim_right(take_span(upper, 0, kMaxTagBytes));
    add_configured_column(reading, bare, bare);
    return true;
}

void warn_of_ignored_columns(const ConfigReading& reading)
{
    if (reading.ignored_columns == 0) {
        return;
    }
    const char* lines = reading.ignored_columns == 1 ? " column line ignored" : " column lines ignored";
    warn(reading.result, std::string(kConfigurationFileName) + ": line " +
                             std::to_string(reading.first_ignored_line) + ": more than " +
                             std::to_string(kMaxColumns) + " columns; " +
                             std::to_string(reading.ignored_columns) + lines);
}

} // namespace

bool load_configuration(FileLayer& files, RunSettings& settings, ColumnTable& columns, RunResult& result)
{
    LineReader reader;
    const IoStatus opened = open_line_reader(reader, files, kConfigurationFileName);
    if (!opened.ok) {
        if (opened.missing) {
            return true;
        }
        fail_on_file(result, "open configuration file", kConfigurationFileName, opened);
        return false;
    }
    ConfigReading reading{settings, columns, result};
    bool fits = true;
    while (fits && read_line(reader)) {
        ++reading.line_number;
        fits = apply_line(reading, line_text(reader));
    }
    const IoStatus closed = close_line_reader(reader);
    if (!closed.ok) {
        fail_on_file(result, "read configuration file", kConfigurationFileName, closed);
        return false;
    }
    warn_of_ignored_columns(reading);
    return fits;
}

} // namespace cardtab
