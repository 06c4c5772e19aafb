#include "config/configuration.hpp"

#include <algorithm>
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
    // Warnings and failures about a line name the file and the line.
    FileInMessage file;
    // Lines as a person counts them: a line longer than a piece is still one.
    std::size_t line_number = 0;
    std::size_t ignored_columns = 0;
    std::size_t first_ignored_line = 0;
};

std::string line_prefix(const ConfigReading& reading)
{
    return at_line(reading.file, reading.line_number);
}

void warn_of_line(ConfigReading& reading, std::string_view text)
{
    warn_about_line(reading.result, reading.file, reading.line_number, text);
}

// A text of the line between single quotes, then what is said of it.
void warn_of_text(ConfigReading& reading, std::string_view text, std::string_view said)
{
    warn_of_line(reading, std::string("'").append(text).append("'").append(said));
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

constexpr std::string_view kDecodeWord = "DECODE";

bool is_space_tab_cr_or_lf(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n';
}

// What follows the card file's name on its line: nothing but blanks, or the
// word "decode" (any letter case) after at least one space or tab, which
// switches the decoding mode on. Anything else is ignored, with a warning.
void apply_rest_of_card_line(ConfigReading& reading, std::string_view rest)
{
    std::string_view words = rest;
    while (!words.empty() && is_space_tab_cr_or_lf(words.back())) {
        words.remove_suffix(1);
    }
    const std::size_t start = words.find_first_not_of(" \t");
    const std::string_view word = start == std::string_view::npos ? std::string_view() : words.substr(start);
    std::array<char, kDecodeWord.size()> upper{};
    if (word.size() == kDecodeWord.size()) {
        word.copy(upper.data(), upper.size());
        upper_ascii(upper);
    }
    reading.settings.decode = start > 0 && std::string_view(upper.data(), upper.size()) == kDecodeWord;
    if (!word.empty() && !reading.settings.decode) {
        warn_of_text(reading, word,
                     " after the card file's name is ignored; only the word 'decode', after a space, may stand there");
    }
}

// What a tag lost to its 20 bytes: the rest of its text, without the
// blanks and line end after it.
std::string_view cut_from_tag(std::string_view text)
{
    if (text.size() <= kMaxTagBytes) {
        return {};
    }
    const std::string_view rest = text.substr(kMaxTagBytes);
    const std::size_t end = rest.find_last_not_of(" \t\r\n");
    return end == std::string_view::npos ? std::string_view() : rest.substr(0, end + 1);
}

// As much of what was cut as a message shows.
std::string shown_cut(std::string_view cut)
{
    return cut.size() <= kMaxTagBytes ? std::string(cut) : std::string(cut.substr(0, kMaxTagBytes)).append("...");
}

// Returns false when the table is full and the line adds nothing. `text` is
// all the text the tag was taken from.
bool add_configured_column(ConfigReading& reading, std::string_view title, std::string_view tag,
                           std::string_view text)
{
    if (reading.columns.count == kMaxColumns) {
        if (reading.ignored_columns++ == 0) {
            reading.first_ignored_line = reading.line_number;
        }
        return false;
    }
    if (title.size() > kMaxTitleBytes) {
        warn_of_line(reading, "title longer than " + std::to_string(kMaxTitleBytes) +
                                 " bytes; shortened to its first " + std::to_string(kMaxTitleBytes));
        title = take_span(title, 0, kMaxTitleBytes);
    }
    add_column(reading.columns, title, tag);
    Column& column = reading.columns.columns[reading.columns.count - 1];
    column.line_number = reading.line_number;
    if (const std::string_view cut = cut_from_tag(text); !cut.empty()) {
        column.tag_cut = true;
        warn_of_line(reading, std::string("the tag '")
                                  .append(tag)
                                  .append("' of the column '")
                                  .append(view(column.title))
                                  .append("' is cut at ")
                                  .append(std::to_string(kMaxTagBytes))
                                  .append(" bytes; '")
                                  .append(shown_cut(cut))
                                  .append("' after it is left out"));
    }
    return true;
}

std::string_view without_blanks(std::string_view text)
{
    const std::size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// A separator on a line of its own followed by a line feed is a column: only
// a last line without a line feed sets the separator; and only when it holds
// the separator alone, without a space, a tab or a CR around it.
void warn_of_a_separator_made_column(ConfigReading& reading, std::string_view line)
{
    if (line.ends_with('\n')) {
        const std::string_view without_line_feed = line.substr(0, line.size() - 1);
        if (find_text(kSeparatorSet, without_line_feed, 0) != kNotFound) {
            warn_of_text(reading, without_line_feed,
                         " became a column; only a last line without a line feed sets the separator");
        }
        return;
    }
    const std::string_view separator = without_blanks(line);
    if (!separator.empty() && find_text(kSeparatorSet, separator, 0) != kNotFound) {
        warn_of_text(reading, line,
                     " became a column; a last line sets the separator only when it holds nothing else, no space, "
                     "tab or CR around it");
    }
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
        apply_rest_of_card_line(reading, line.substr(static_cast<std::size_t>(at) + 4));
        return set_base_name(reading, reading.settings.input_base_name, line, at, "card file");
    }
    if (const std::ptrdiff_t at = find_text(upper, ".CSV", 0); at != kNotFound) {
        return set_base_name(reading, reading.settings.output_base_name, line, at, "table file");
    }
    if (find_text(kSeparatorSet, line, 0) != kNotFound) {
        reading.settings.separator = line.front();
        return true;
    }
    bool added = false;
    if (const std::ptrdiff_t equals = find_text(line, "=", 0); equals != kNotFound) {
        const auto split = static_cast<std::size_t>(equals);
        added = add_configured_column(reading, take_span(line, 0, split),
                                      trim_right(take_span(line, split + 1, kMaxTagBytes)), line.substr(split + 1));
    } else {
        const std::string_view bare = trim_right(take_span(upper, 0, kMaxTagBytes));
        added = add_configured_column(reading, bare, bare, upper);
    }
    if (added) {
        warn_of_a_separator_made_column(reading, line);
    }
    return true;
}

void warn_of_a_byte_order_mark(ConfigReading& reading, std::string_view first_line)
{
    // It becomes part of the first line.
    if (first_line.starts_with(kByteOrderMark)) {
        warn_of_line(reading, "begins with a UTF-8 byte order mark, which becomes part of '" +
                                 std::string(trim_right(first_line)) +
                                 "'; save the file as UTF-8 without a byte order mark");
    }
}

void warn_of_ignored_columns(const ConfigReading& reading)
{
    if (reading.ignored_columns == 0) {
        return;
    }
    warn_about_line(reading.result, reading.file, reading.first_ignored_line,
                    "more than " + std::to_string(kMaxColumns) + " columns; " +
                        counted(reading.ignored_columns, "column line ignored", "column lines ignored"));
}

} // namespace

ConfigurationOutcome load_configuration(FileLayer& files, RunSettings& settings, ColumnTable& columns,
                                        RunResult& result, std::string_view name, std::size_t chunk_bytes)
{
    LineReader reader;
    const IoStatus opened = open_line_reader(reader, files, name, chunk_bytes);
    if (!opened.ok) {
        if (opened.missing) {
            return ConfigurationOutcome::missing;
        }
        fail_on_file(result, "open configuration file", name, opened);
        return ConfigurationOutcome::failed;
    }
    ConfigReading reading{settings, columns, result, {"", name}};
    bool fits = true;
    for (bool starts_line = true; fits && read_piece(reader); starts_line = reader.piece_ends_line) {
        reading.line_number += starts_line ? 1 : 0;
        if (starts_line && reading.line_number == 1) {
            warn_of_a_byte_order_mark(reading, current_text(reader));
        }
        fits = apply_line(reading, current_text(reader));
    }
    warn_of_wide_text(result, {"configuration file", name}, wide_text_of(reader), "no line is read as meant");
    const IoStatus closed = close_line_reader(reader);
    if (!closed.ok) {
        fail_on_file(result, "read configuration file", name, closed);
        return ConfigurationOutcome::failed;
    }
    if (!fits) {
        return ConfigurationOutcome::failed;
    }
    warn_of_ignored_columns(reading);
    return ConfigurationOutcome::read;
}

void use_default_decoding_columns(RunSettings& settings, ColumnTable& columns)
{
    RunResult unused;
    ConfigReading reading{settings, columns, unused, {"", kConfigurationFileName}};
    std::string_view lines = kDefaultDecodingColumns;
    while (!lines.empty()) {
        const std::size_t end = std::min(lines.find('\n'), lines.size() - 1) + 1;
        ++reading.line_number;
        apply_line(reading, lines.substr(0, end));
        lines.remove_prefix(end);
    }
}

} // namespace cardtab
