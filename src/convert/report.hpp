#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "io/file_layer.hpp"

namespace cardtab {

inline constexpr std::string_view kProgramPrefix = "cardtab: ";
inline constexpr std::string_view kWarningPrefix = "cardtab: warning: ";

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

// A message as it may be shown on a terminal: printable ASCII and valid
// UTF-8 stay; a control byte or a byte that is not UTF-8 becomes \xHH, and a
// control or invisible character (U+0085, U+200B, U+FEFF ...) becomes
// \u{HHHH}, so that no name from a file can move the cursor, hide part of
// the line or vanish from it.
std::string printable(std::string_view text);

// Whether to hold the console window open after the messages: only for a
// window that exists for this process alone (started from Explorer), whose
// keyboard is standard input, and only when there was something to read.
bool keeps_window_open(bool printed, unsigned console_processes, bool input_is_console);

// Prints the run's messages, one a line, on standard error, and holds a
// window of its own open until Enter; returns the process exit status.
int report_run(const RunResult& result);

} // namespace cardtab
