#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "io/file_layer.hpp"

// What a run has to say. The configuration reader and the run driver both
// record into it; the program's entry prints it.
namespace cardtab {

inline constexpr std::string_view kProgramPrefix = "cardtab: ";
inline constexpr std::string_view kWarningPrefix = "cardtab: warning: ";

// Warnings, and at most one failure, each a line for standard error.
// Warnings never change the exit status.
struct RunResult {
    bool failed = false;
    std::vector<std::string> messages;
};

void warn(RunResult& result, std::string_view text);

// Records the run's failure. Only the first failure is kept, so a run shows
// one line for what went wrong, not its aftermath.
void fail(RunResult& result, std::string_view text);

// "cannot <action> '<name>': <the system's reason>"
void fail_on_file(RunResult& result, std::string_view action, std::string_view name,
                  const IoStatus& status);

// The same for a name that a link leads elsewhere: both are named,
// "cannot <action> '<name>' (a link to '<final name>'): <reason>".
void fail_on_file(RunResult& result, std::string_view action, std::string_view name, std::string_view final_name,
                  const IoStatus& status);

int exit_status(const RunResult& result);

} // namespace cardtab
