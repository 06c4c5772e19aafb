#pragma once

#include "convert/report.hpp"
#include "io/file_layer.hpp"

namespace cardtab {

// One whole run: the configuration, then the card file, then the table file.
// Relative names resolve wherever `files` resolves them.
RunResult run_conversion(FileLayer& files);

} // namespace cardtab
