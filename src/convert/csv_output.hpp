#pragma once

#include "config/records.hpp"
#include "convert/card_values.hpp"
#include "io/table_writer.hpp"

namespace cardtab {

// The title after its first "*", or the whole title when it has none.
std::string_view header_text(const Column& column);

// The header line: each column's header text, bare unless it holds the
// separator, the quote byte or a CR, then the line end.
void write_header(TableWriter& table, const RunSettings& settings, const ColumnTable& columns);

// One data line: each value of the card right-trimmed between quote bytes,
// inner quote bytes doubled, then the line end. A constant column shows its
// tag instead of a value.
void write_row(TableWriter& table, const RunSettings& settings, const ColumnTable& columns, const CardValues& card);

} // namespace cardtab
