#pragma once

#include <span>

#include "convert/run.hpp"

namespace cardtab {

enum class Request {
    convert,
    help,
    version,
};

// Exactly "--help" or "-h" asks for the usage, exactly "--version" for the
// version, and exactly "--decode" sets the run's decoding mode in
// `options`; any other argument is ignored, as it always was, so that
// scripts that pass something keep converting.
Request read_command_line(std::span<const char* const> arguments, RunOptions& options);

// Prints the usage or the version on standard output; returns the exit
// status. Touches no file.
int answer(Request request);

} // namespace cardtab
