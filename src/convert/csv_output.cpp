#include "convert/csv_output.hpp"

#include "text/text.hpp"

namespace cardtab {

namespace {

// A field with every byte a doubled quote, between two quotes, and the
// separator after it.
constexpr std::size_t kMaxRowFieldBytes = 2 * kMaxValueBytes + 3;
constexpr std::size_t kMaxHeaderFieldBytes = 2 * kMaxTitleBytes + 3;

bool needs_quotes(std::string_view header, const RunSettings& settings)
{
    const char special[] = {settings.separator, settings.quote, '\r'};
    return header.find_first_of(std::string_view(special, sizeof special)) != std::string_view::npos;
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

void write_header(TableWriter& table, const RunSettings& settings, const ColumnTable& columns)
{
    char* out = begin_line(table, kMaxColumns * kMaxHeaderFieldBytes);
    for (std::size_t j = 0; j < columns.count; ++j) {
        if (j > 0) {
            *out++ = settings.separator;
        }
        const std::string_view header = header_text(columns.columns[j]);
        out = needs_quotes(header, settings) ? append_quoted(out, header, settings.quote) : append_text(out, header);
    }
    end_line(table, out);
}

void write_row(TableWriter& table, const RunSettings& settings, const ColumnTable& columns, const CardValues& card)
{
    static_assert(kMaxTagBytes <= kMaxValueBytes, "a constant column's field is no longer than a value's");
    char* out = begin_line(table, kMaxColumns * kMaxRowFieldBytes);
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
