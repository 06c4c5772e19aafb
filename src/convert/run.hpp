#pragma once

#include <cstddef>

#include "result/run_result.hpp"
#include "io/file_layer.hpp"
#include "io/line_reader.hpp"
#include "io/table_writer.hpp"

namespace cardtab {

// What the command line asks of a run.
struct RunOptions {
    // Decode the card file whatever cardtab.ini says (--decode).
    bool decode = false;
};

// One whole run: the configuration, then the card file, then the table file.
// Relative names resolve wherever `files` resolves them.
RunResult run_conversion(FileLayer& files, const RunOptions& options = {});

} // namespace cardtab
