#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "io/file_layer.hpp"

namespace cardtab {

inline constexpr std::string_view kProgramPrefix = "cardtab: ";

// What a run has to say: warnings, and at most one failure, each a line for
// standard error. Warnings never change the exit status.
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

int exit_status(const RunResult& result);

// Prints the run's messages, one a line, on standard error; returns the
// process exit status.
int report_run(const RunResult& result);

} // namespace cardtab
