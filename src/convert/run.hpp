#pragma once

#include "io/file_layer.hpp"
#include "io/run_result.hpp"

namespace cardtab {

// One whole run: the configuration, then the card file, then the table file.
// Relative names resolve wherever `files` resolves them.
RunResult run_conversion(FileLayer& files);

// Prints the run's messages, one a line, on standard error; returns the
// process exit status.
int report_run(const RunResult& result);

} // namespace cardtab
