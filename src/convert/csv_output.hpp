#pragma once

#include "config/records.hpp"
#include "io/table_writer.hpp"

namespace cardtab {

void write_header(TableWriter& table, const RunSettings& settings, const ColumnTable& columns);

} // namespace cardtab
