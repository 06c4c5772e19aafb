#include "convert/csv_output.hpp"

#include "text/text.hpp"

namespace cardtab {

namespace {

// A value with every byte a doubled quote, between two quotes.
constexpr std::size_t kMaxFieldBytes = 2 * kMaxValueBytes + 2;

bool needs_quotes(std::string_view header, const RunSettings& settings)
{
    const char special[] = {settings.separator, settings.quote, '\r'};
    return header.find_first_of(std::string_view(special, sizeof special)) != std::string_view::npos;
}

void put_line_end(TableWriter& table)
{
    put_byte(table, '\n');
}

} // namespace

std::string_view header_text(const Column& column)
{
    const std::string_view title = view(column.title);
    const std::ptrdiff_t star = find_text(title, "*", 0);
    if (star == kNotFound) {
        return title;
    }
    // A header shows at most 100 bytes after the "*"; a title never holds more.
    static_assert(kMaxTitleBytes <= 100);
    const auto after_star = static_cast<std::size_t>(star) + 1;
    return take_span(title, after_star, title.size() - after_star);
}

void write_header(TableWriter& table, const RunSettings& settings, const ColumnTable& columns)
{
    for (std::size_t j = 0; j < columns.count; ++j) {
        if (j > 0) {
            put_byte(table, settings.separator);
        }
        const std::string_view header = header_text(columns.columns[j]);
        if (needs_quotes(header, settings)) {
            put_quoted(table, header, settings.quote);
        } else {
            put_text(table, header);
        }
    }
    put_line_end(table);
}

void write_row(TableWriter& table, const RunSettings& settings, const ColumnTable& columns, const CardValues& card)
{
    static_assert(kMaxTagBytes <= kMaxValueBytes, "a constant column's field is no longer than a value's");
    char* out = begin_line(table, kMaxColumns * (kMaxFieldBytes + 1));
    for (std::size_t j = 0; j < columns.count; ++j) {
        const Column& column = columns.columns[j];
        if (j > 0) {
            *out++ = settings.separator;
        }
        const std::string_view field = column.marks.is_constant ? view(column.tag) : view(card.values[j]);
        out = append_quoted(out, trim_value(field), settings.quote);
    }
    end_line(table, out);
}

} // namespace cardtab
