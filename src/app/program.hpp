#pragma once

#include <span>
#include <string>

namespace cardtab {

// The whole program: reads the command line, does what it asks, and
// returns the exit status.
int run_program(std::span<const std::string> arguments);

} // namespace cardtab
