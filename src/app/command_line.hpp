#pragma once

#include <span>
#include <string>
#include <string_view>

#include "convert/run.hpp"

namespace cardtab {

enum class Request {
    convert,
    list_tags,
    help,
    version,
    refused, // a usage error: nothing is read or written
};

// The exit status of a command line that is refused.
inline constexpr int kUsageErrorStatus = 2;

// Reads `cardtab [options] [CARDS...] [TABLE]`: options and names in
// any order, "--" ending the options. "--help" or "-h" (and "/?" on
// Windows), then "--version", win over everything else on the line. The
// last name is the table where it is a .csv file or "-" after another. An
// unknown option or "-" as a card file refuses the line, `refusal` saying
// why.
Request read_command_line(std::span<const std::string> arguments, RunOptions& options, std::string& refusal);

// Prints the usage or the version on standard output; returns the exit
// status. Touches no file.
int answer(Request request);

// Prints a refusal on standard error; returns kUsageErrorStatus.
int refuse(std::string_view refusal);

} // namespace cardtab
