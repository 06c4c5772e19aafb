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

// Warnings, and at most one failure, each a line for standard error; the
// failure, which ended the run, comes last. Warnings never change the exit
// status.
struct RunResult {
    bool failed = false;
    std::vector<std::string> messages;
    // Standard error leads to an input of the run: the messages are kept
    // here, and never written.
    bool silent = false;
};

// Adds a warning, before the failure if there is one.
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

// "<file>: line <line>: <text>", where a line of a file refuses the run.
void fail_on_line(RunResult& result, std::string_view file, std::size_t line, std::string_view text);

int exit_status(const RunResult& result);

// `one` or `many`, as `count` asks.
inline std::string_view by_count(std::uint64_t count, std::string_view one, std::string_view many)
{
    return count == 1 ? one : many;
}

// The count and its noun: "1 value", "3 values".
std::string counted(std::uint64_t count, std::string_view one, std::string_view many);

} // namespace cardtab
