#pragma once

#include <span>

namespace cardtab {

enum class Request {
    convert,
    help,
    version,
};

// Exactly "--help" or "-h" asks for the usage, exactly "--version" for the
// version; any other argument is ignored, as it always was, so that scripts
// that pass something keep converting.
Request request_of(std::span<const char* const> arguments);

// Prints the usage or the version on standard output; returns the exit
// status. Touches no file.
int answer(Request request);

} // namespace cardtab
