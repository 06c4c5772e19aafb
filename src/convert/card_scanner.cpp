#include "convert/card_scanner.hpp"

#include <array>
#include <span>
#include <string_view>

#include "convert/csv_output.hpp"
#include "text/diacritics.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"

namespace cardtab {

namespace {

constexpr std::string_view kCardStart = "BEGIN:VCARD";
constexpr std::string_view kCardEnd = "END:";

// The first bytes of the configured tags: a cheap test that skips the full
// prefix compare for lines that no column wants.
struct TagFilter {
    std::array<bool, 256> first_bytes{};
    bool has_empty_tag = false;
};

TagFilter filter_of(const ColumnTable& columns)
{
    TagFilter filter;
    for (std::size_t j = 0; j < columns.count; ++j) {
        const std::string_view tag = view(columns.columns[j].tag);
        if (tag.empty()) {
            filter.has_empty_tag = true;
        } else {
            filter.first_bytes[static_cast<unsigned char>(tag.front())] = true;
        }
    }
    return filter;
}

bool may_match(const TagFilter& filter, std::string_view trimmed)
{
    return trimmed.empty() ? filter.has_empty_tag : filter.first_bytes[static_cast<unsigned char>(trimmed.front())];
}

void clear_values(ColumnTable& columns)
{
    for (std::size_t j = 0; j < columns.count; ++j) {
        columns.columns[j].value.length = 0;
    }
}

// The text after the first colon from the second byte on, or nothing when
// there is none, so that a tag of ':' takes 'b' from ':a:b'.
std::string_view text_after_colon(std::string_view trimmed)
{
    const std::ptrdiff_t colon = find_text(trimmed, ":", 1);
    if (colon == kNotFound) {
        return {};
    }
    return take_span(trimmed, static_cast<std::size_t>(colon) + 1, kMaxValueBytes);
}

void capture_value(Column& column, std::string_view source)
{
    assign(column.value, source);
    std::span<char> value(column.value.bytes.data(), column.value.length);
    replace_char(value, ';', ' ');
    if (column.marks.strips_spaces) {
        value = value.first(remove_char(value, ' '));
    }
    strip_diacritics(value);
    column.value.length = trim_right(std::string_view(value.data(), value.size())).size();
}

void capture_line(ColumnTable& columns, std::string_view trimmed)
{
    std::string_view source;
    bool source_found = false;
    for (std::size_t j = 0; j < columns.count; ++j) {
        Column& column = columns.columns[j];
        if (!begins_with(trimmed, view(column.tag))) {
            continue;
        }
        if (!source_found) {
            source = text_after_colon(trimmed);
            source_found = true;
        }
        capture_value(column, source);
    }
}

// Sees the values as they stand, before write_row puts any constant
// column's tag in place.
bool card_is_complete(const ColumnTable& columns)
{
    for (std::size_t j = 0; j < columns.count; ++j) {
        const Column& column = columns.columns[j];
        if (column.marks.is_required && column.value.length == 0) {
            return false;
        }
    }
    return true;
}

void scan_line(LineReader& cards, TableWriter& table, const RunSettings& settings, ColumnTable& columns,
               const TagFilter& filter)
{
    std::span<char> line(cards.line.data(), cards.text_length);
    if (begins_with(std::string_view(line.data(), line.size()), kCardStart)) {
        clear_values(columns);
    }
    line = line.first(fold_utf8_line(line));
    const std::string_view folded(line.data(), line.size());
    const std::string_view trimmed = trim_right(folded);
    if (may_match(filter, trimmed)) {
        capture_line(columns, trimmed);
    }
    if (begins_with(folded, kCardEnd) && card_is_complete(columns)) {
        write_row(table, settings, columns);
    }
}

} // namespace

void scan_cards(LineReader& cards, TableWriter& table, const RunSettings& settings, ColumnTable& columns)
{
    const TagFilter filter = filter_of(columns);
    while (table.status.ok && read_line(cards)) {
        scan_line(cards, table, settings, columns, filter);
    }
}

} // namespace cardtab
