#pragma once

#include <cstddef>

#include "result/run_result.hpp"
#include "io/file_layer.hpp"
#include "io/line_reader.hpp"
#include "io/table_writer.hpp"

namespace cardtab {

// The sizes of the buffers a run reads and writes with. The defaults suit
// large files; the tests choose small ones to cross their edges often.
struct BufferSizes {
    std::size_t read_chunk = kReadChunkBytes;
    std::size_t write_buffer = kWriteChunkBytes;
};

// What the command line asks of a run.
struct RunOptions {
    // Decode the card file whatever cardtab.ini says (--decode).
    bool decode = false;
    BufferSizes sizes;
};

// One whole run: the configuration, then the card file, then the table file.
// Relative names resolve wherever `files` resolves them.
RunResult run_conversion(FileLayer& files, const RunOptions& options = {});

} // namespace cardtab
