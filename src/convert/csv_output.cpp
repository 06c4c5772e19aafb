#include "convert/csv_output.hpp"

#include <algorithm>

#include "text/charsets.hpp"
#include "text/text.hpp"

namespace cardtab {

namespace {

bool needs_quotes(std::string_view header, const RunSettings& settings)
{
    const char special[] = {settings.separator, settings.quote, '\r'};
    return header.find_first_of(std::string_view(special, sizeof special)) != std::string_view::npos;
}

// A text of the configuration in the table's set. A Windows-1250 text in a
// Windows-1250 table stays byte for byte what the file holds.
std::string in_table_charset(std::string_view text, TableCharset charset)
{
    const bool utf8 = is_utf8(text);
    if (!utf8 && charset != TableCharset::utf8) {
        return std::string(text);
    }
    constexpr std::size_t kMostBytesOfOneCharacter = 4;
    std::string written(text.size() * kMostBytesOfOneCharacter, '\0');
    std::size_t read = 0;
    const TableCharset table = charset == TableCharset::utf8 ? charset : TableCharset::windows_1250;
    written.resize(to_table_text(text, utf8 ? Charset::utf8 : Charset::windows_1250, table, Controls::kept, written,
                                 read));
    return written;
}

// The most bytes a field takes: every byte a doubled quote, between two
// quotes, and the separator before it.
constexpr std::size_t field_room(std::size_t length)
{
    return 2 * length + 3;
}

} // namespace

std::string_view header_text(const Column& column)
{
    const std::string_view title = view(column.title);
    const std::ptrdiff_t star = find_text(title, "*", 0);
    if (star == kNotFound) {
        return title;
    }
    const auto after_star = static_cast<std::size_t>(star) + 1;
    return take_span(title, after_star, title.size() - after_star);
}

TableTexts table_texts(const RunSettings& settings, const ColumnTable& columns, std::size_t value_capacity)
{
    TableTexts texts;
    texts.byte_order_mark = settings.charset == TableCharset::utf8;
    for (std::size_t j = 0; j < columns.count; ++j) {
        texts.headers[j] = in_table_charset(header_text(columns.columns[j]), settings.charset);
        std::size_t longest = value_capacity;
        if (columns.columns[j].marks.is_constant) {
            texts.constants[j] = in_table_charset(trim_value(view(columns.columns[j].tag)), settings.charset);
            longest = std::max(longest, texts.constants[j].size());
        }
        texts.row_room += field_room(longest);
    }
    return texts;
}

void write_header(TableWriter& table, const RunSettings& settings, const ColumnTable& columns,
                  const TableTexts& texts)
{
    std::size_t room = kUtf8ByteOrderMark.size();
    for (std::size_t j = 0; j < columns.count; ++j) {
        room += field_room(texts.headers[j].size());
    }
    char* out = begin_line(table, room);
    if (texts.byte_order_mark) {
        out = append_text(out, kUtf8ByteOrderMark);
    }
    for (std::size_t j = 0; j < columns.count; ++j) {
        if (j > 0) {
            *out++ = settings.separator;
        }
        const std::string_view header = texts.headers[j];
        out = needs_quotes(header, settings) ? append_quoted(out, header, settings.quote) : append_text(out, header);
    }
    end_line(table, out);
}

void write_row(TableWriter& table, const RunSettings& settings, const ColumnTable& columns, const TableTexts& texts,
               const CardValues& card)
{
    char* out = begin_line(table, texts.row_room);
    for (std::size_t j = 0; j < columns.count; ++j) {
        if (j > 0) {
            *out++ = settings.separator;
        }
        const std::string_view field = columns.columns[j].marks.is_constant ? std::string_view(texts.constants[j])
                                                                            : shown_value(card, j);
        out = append_quoted(out, trim_value(field), settings.quote);
    }
    end_line(table, out);
}

} // namespace cardtab
