#pragma once

#include <array>
#include <string>
#include <string_view>

#include "config/records.hpp"
#include "convert/card_values.hpp"
#include "io/table_writer.hpp"

namespace cardtab {

// The title after its first "*", or the whole title when it has none.
std::string_view header_text(const Column& column);

// What the table shows of the configuration, in the table's character set:
// each column's header text, and each constant column's tag, which its
// rows show. A title or a tag is read as UTF-8 where it is, else as
// Windows-1250; it keeps its accents in every set.
struct TableTexts {
    std::array<std::string, kMaxColumns> headers;
    std::array<std::string, kMaxColumns> constants;
    bool byte_order_mark = false; // a UTF-8 table begins with one
    std::size_t row_room = 0;     // the most bytes a data line takes
};
TableTexts table_texts(const RunSettings& settings, const ColumnTable& columns, std::size_t value_capacity);

// What a UTF-8 table begins with, so that a spreadsheet reads it as UTF-8.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The header line: each column's header text, bare unless it holds the
// separator, the quote byte or a CR, then the line end; after the byte
// order mark where the table has one.
void write_header(TableWriter& table, const RunSettings& settings, const ColumnTable& columns,
                  const TableTexts& texts);

// One data line: each value of the card right-trimmed between quote bytes,
// inner quote bytes doubled, then the line end. A constant column shows its
// tag instead of a value.
void write_row(TableWriter& table, const RunSettings& settings, const ColumnTable& columns, const TableTexts& texts,
               const CardValues& card);

} // namespace cardtab
