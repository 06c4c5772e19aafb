#pragma once

#include "config/records.hpp"
#include "io/file_layer.hpp"
#include "convert/report.hpp"

namespace cardtab {

inline constexpr std::string_view kConfigurationFileName = "cardtab.ini";

// Fills `settings` and `columns` from the configuration file. A missing file
// leaves the defaults. Returns false, with the failure in `result`, when the
// file exists but cannot be read or names a file that does not fit.
bool load_configuration(FileLayer& files, RunSettings& settings, ColumnTable& columns, RunResult& result);

} // namespace cardtab
