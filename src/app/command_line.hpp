#pragma once

#include <span>

namespace cardtab {

enum class Request {
    convert,
    help,
    version,
};

struct CommandLine {
    Request request = Request::convert;
    bool decode = false; // read the card file as vCard
};

// Exactly "--help" or "-h" asks for the usage, exactly "--version" for the
// version, and exactly "--decode" for the decoding mode; any other argument
// is ignored, as it always was, so that scripts that pass something keep
// converting.
CommandLine read_command_line(std::span<const char* const> arguments);

// Prints the usage or the version on standard output; returns the exit
// status. Touches no file.
int answer(Request request);

} // namespace cardtab
