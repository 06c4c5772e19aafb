#pragma once

#include "config/records.hpp"
#include "io/line_reader.hpp"
#include "io/table_writer.hpp"

namespace cardtab {

void scan_cards(LineReader& cards, TableWriter& table, const RunSettings& settings, ColumnTable& columns);

} // namespace cardtab
