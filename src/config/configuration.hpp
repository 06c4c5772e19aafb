#pragma once

#include "config/records.hpp"
#include "result/run_result.hpp"
#include "io/file_layer.hpp"
#include "io/line_reader.hpp"

namespace cardtab {

inline constexpr std::string_view kConfigurationFileName = "cardtab.ini";

enum class ConfigurationOutcome {
    read,
    missing, // the defaults stand, and the table has no columns
    failed,  // the file cannot be read, or names a file that does not fit
};

// Fills `settings` and `columns` from the configuration file; a failure goes
// into `result`, and so do warnings about lines that may not do what their
// author meant.
ConfigurationOutcome load_configuration(FileLayer& files, RunSettings& settings, ColumnTable& columns,
                                 RunResult& result, std::size_t chunk_bytes = kReadChunkBytes);

} // namespace cardtab
