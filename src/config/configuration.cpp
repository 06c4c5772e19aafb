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
    ConfigurationFindings& found;
    RunResult& result;
    // A failure about a line names the file as given, and the line.
    std::string_view name;
    std::size_t line_number = 0;
    // Said only of a configuration read to its end.
    Counted ignored_columns;
};

void note_line(ConfigReading& reading, LineNote note, std::string_view text = {}, std::string_view more = {},
               std::string_view last = {})
{
    const auto kind = static_cast<std::size_t>(note);
    const auto kept = static_cast<std::size_t>(
        std::count_if(reading.found.noted_lines.begin(), reading.found.noted_lines.end(),
                      [note](const NotedLine& noted) { return noted.note == note; }));
    if (kept == kNotedLinesKept) {
        cardtab::note(reading.found.noted_lines_not_kept[kind], reading.line_number);
        return;
    }
    reading.found.noted_lines.push_back(
        {note, reading.line_number, {std::string(text), std::string(more), std::string(last)}});
}

// Sets a base name from the bytes before the extension found at `at`.
// A name too long for the records is refused: shortening it would read or
// write a file that nobody named.
bool set_base_name(ConfigReading& reading, BaseName& base_name, std::string_view line, std::ptrdiff_t at,
                   std::string_view what)
{
    const std::string_view name = take_span(line, 0, static_cast<std::size_t>(at));
    if (name.size() > kMaxBaseNameBytes) {
        fail_on_line(reading.result, reading.name, reading.line_number,
                     std::string(what) + " name is longer than " + std::to_string(kMaxBaseNameBytes) + " bytes");
        return false;
    }
    assign(base_name, name);
    return true;
}

// The word after a file's name on its line, after at least one space or
// tab and before the blanks that end the line; `spaced` tells whether a
// blank came first.
std::string_view word_after_name(std::string_view rest, bool& spaced)
{
    const std::string_view words = trim_end(rest, kBlanks);
    const std::size_t start = words.find_first_not_of(kSpaceAndTab);
    spaced = start != std::string_view::npos && start > 0;
    return start == std::string_view::npos ? std::string_view() : words.substr(start);
}

constexpr std::string_view kDecodeWord = "DECODE";
constexpr std::string_view kUtf8Word = "UTF8";
constexpr std::string_view kAccentsWord = "ACCENTS";

// What follows the card file's name on its line: nothing but blanks, or the
// word "decode" (any letter case) after at least one space or tab, which
// switches the decoding mode on. Anything else is ignored, with a warning.
void apply_rest_of_card_line(ConfigReading& reading, std::string_view rest)
{
    bool spaced = false;
    const std::string_view word = word_after_name(rest, spaced);
    reading.settings.decode = spaced && equals_in_any_case(word, kDecodeWord);
    if (!word.empty() && !reading.settings.decode) {
        note_line(reading, LineNote::words_after_card_name, word);
    }
}

// What follows the table file's name: the table's character set, "utf8" or
// "accents" in any letter case, as "decode" after the card file's name.
void apply_rest_of_table_line(ConfigReading& reading, std::string_view rest)
{
    bool spaced = false;
    const std::string_view word = word_after_name(rest, spaced);
    TableCharset& charset = reading.settings.charset;
    charset = !spaced                         ? TableCharset::windows_1250_plain
              : equals_in_any_case(word, kUtf8Word)      ? TableCharset::utf8
              : equals_in_any_case(word, kAccentsWord)   ? TableCharset::windows_1250
                                              : TableCharset::windows_1250_plain;
    if (!word.empty() && charset == TableCharset::windows_1250_plain) {
        note_line(reading, LineNote::words_after_table_name, word);
    }
}

// What a tag lost to its 20 bytes: the rest of its text, without the
// blanks and line end after it.
std::string_view cut_from_tag(std::string_view text)
{
    if (text.size() <= kMaxTagBytes) {
        return {};
    }
    return trim_end(text.substr(kMaxTagBytes), kBlanks);
}

// As much of what was cut as a message shows.
std::string shown_cut(std::string_view cut)
{
    return cut.size() <= kMaxTagBytes ? std::string(cut) : std::string(cut.substr(0, kMaxTagBytes)).append("...");
}

// A mark counts wherever it stands in a title, but is meant at the start
// of its heading, the text after a first '*' ("#Phone", "N*#Phone", "Ident
// number"): one inside a word or after other text ("Tel. #2",
// "Identifikacni cislo") most likely is not meant. Text before a '*' is
// the documented way to head a column otherwise ("N*Name"), so a '*'
// anywhere is.
void note_marks_inside(ConfigReading& reading, const Column& column)
{
    const std::string_view title = view(column.title);
    const std::size_t star = title.find('*');
    const std::string_view heading = star == std::string_view::npos ? title : title.substr(star + 1);
    if (column.marks.strips_spaces && !heading.starts_with('#')) {
        note_line(reading, LineNote::mark_inside_title, title, "#", view(column.tag));
    }
    const bool ident_word = heading.starts_with("Ident") && (heading.size() == 5 || heading[5] == ' ');
    if (column.marks.is_constant && !ident_word) {
        note_line(reading, LineNote::mark_inside_title, title, "Ident", view(column.tag));
    }
}

// Returns false when the table is full and the line adds nothing. `text` is
// all the text the tag was taken from.
bool add_configured_column(ConfigReading& reading, std::string_view title, std::string_view tag,
                           std::string_view text)
{
    if (reading.columns.count == kMaxColumns) {
        note(reading.ignored_columns, reading.line_number);
        return false;
    }
    if (title.size() > kMaxTitleBytes) {
        note_line(reading, LineNote::title_too_long);
        title = take_span(title, 0, kMaxTitleBytes);
    }
    add_column(reading.columns, title, tag);
    Column& column = reading.columns.columns[reading.columns.count - 1];
    column.line_number = reading.line_number;
    note_marks_inside(reading, column);
    if (const std::string_view cut = cut_from_tag(text); !cut.empty()) {
        column.tag_cut = true;
        note_line(reading, LineNote::tag_cut, tag, view(column.title), shown_cut(cut));
    }
    return true;
}

// A separator on a line of its own followed by a line feed is a column: only
// a last line without a line feed sets the separator; and only when it holds
// the separator alone, without a space, a tab or a CR around it.
void warn_of_a_separator_made_column(ConfigReading& reading, std::string_view line)
{
    if (line.ends_with('\n')) {
        const std::string_view without_line_feed = line.substr(0, line.size() - 1);
        if (find_text(kSeparatorSet, without_line_feed, 0) != kNotFound) {
            note_line(reading, LineNote::separator_became_column, without_line_feed);
        }
        return;
    }
    const std::string_view separator = trim_both(line, kLineBlanks);
    if (!separator.empty() && find_text(kSeparatorSet, separator, 0) != kNotFound) {
        note_line(reading, LineNote::separator_with_blanks, line);
    }
}

// A file's extension as the upper-cased line holds it.
constexpr FixedText<8> upper_extension(std::string_view extension)
{
    FixedText<8> upper;
    for (const char byte : extension) {
        upper.bytes[upper.length++] = upper_ascii_byte(byte);
    }
    return upper;
}
constexpr FixedText<8> kUpperCardExtension = upper_extension(kCardFileExtension);
constexpr FixedText<8> kUpperTableExtension = upper_extension(kTableFileExtension);

// Applies one line; the first kind that fits decides. Returns false when the
// line refuses the run.
bool apply_line(ConfigReading& reading, std::string_view line)
{
    std::array<char, kLineBufferBytes> upper_bytes;
    line.copy(upper_bytes.data(), line.size());
    upper_ascii(std::span<char>(upper_bytes.data(), line.size()));
    const std::string_view upper(upper_bytes.data(), line.size());

    if (const std::ptrdiff_t at = find_text(upper, view(kUpperCardExtension), 0); at != kNotFound) {
        apply_rest_of_card_line(reading, line.substr(static_cast<std::size_t>(at) + kCardFileExtension.size()));
        return set_base_name(reading, reading.settings.input_base_name, line, at, "card file");
    }
    if (const std::ptrdiff_t at = find_text(upper, view(kUpperTableExtension), 0); at != kNotFound) {
        apply_rest_of_table_line(reading, line.substr(static_cast<std::size_t>(at) + kTableFileExtension.size()));
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

// It becomes part of the first line.
void note_a_byte_order_mark(ConfigReading& reading, std::string_view first_line)
{
    if (begins_with_byte_order_mark(first_line)) {
        note_line(reading, LineNote::byte_order_mark, trim_right(first_line));
    }
}

} // namespace

ConfigurationOutcome load_configuration(FileLayer& files, RunSettings& settings, ColumnTable& columns,
                                        ConfigurationFindings& found, RunResult& result, std::string_view name,
                                        std::size_t chunk_bytes)
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
    found.name = name;
    ConfigReading reading{settings, columns, found, result, name, 0, {}};
    bool fits = true;
    while (fits && read_piece(reader)) {
        reading.line_number = reader.line_number;
        if (reader.piece_begins_line && reading.line_number == 1) {
            note_a_byte_order_mark(reading, current_text(reader));
        }
        fits = apply_line(reading, current_text(reader));
    }
    found.wide_text = wide_text_of(reader);
    const IoStatus closed = close_line_reader(reader);
    if (!closed.ok) {
        fail_on_file(result, "read configuration file", name, closed);
        return ConfigurationOutcome::failed;
    }
    if (!fits) {
        return ConfigurationOutcome::failed;
    }
    found.ignored_columns = reading.ignored_columns;
    return ConfigurationOutcome::read;
}

namespace {

// Applies the lines of a text as if a configuration held them.
void apply_built_in_lines(RunSettings& settings, ColumnTable& columns, std::string_view lines)
{
    ConfigurationFindings unused_findings;
    RunResult unused;
    ConfigReading reading{settings, columns, unused_findings, unused, kConfigurationFileName, 0, {}};
    while (!lines.empty()) {
        const std::size_t end = std::min(lines.find('\n'), lines.size() - 1) + 1;
        ++reading.line_number;
        apply_line(reading, lines.substr(0, end));
        lines.remove_prefix(end);
    }
}

} // namespace

void use_default_decoding_columns(RunSettings& settings, ColumnTable& columns)
{
    apply_built_in_lines(settings, columns, kDefaultDecodingColumns);
}

void use_outlook_columns(RunSettings& settings, ColumnTable& columns)
{
    columns = ColumnTable();
    apply_built_in_lines(settings, columns, kOutlookColumns);
    settings.charset = TableCharset::utf8;
}

} // namespace cardtab
