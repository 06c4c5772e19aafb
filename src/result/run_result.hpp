#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "io/file_layer.hpp"
#include "io/line_reader.hpp"

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

// A file as warnings name it: "card file 'import.vcf'", or the name alone
// where `what` is empty ("cardtab.ini").
struct FileInMessage {
    std::string_view what;
    std::string_view name;
};

// "<file><text>": the text goes on from the file's name (" is UTF-16...",
// ": 3 values...").
void warn_about(RunResult& result, const FileInMessage& file, std::string_view text);

// "<file>: line <line>: ", which a message about the line goes on from.
std::string at_line(const FileInMessage& file, std::size_t line);

// "<file>: line <line>: <text>".
void warn_about_line(RunResult& result, const FileInMessage& file, std::size_t line, std::string_view text);

// A file in UTF-16 or UTF-32, in which nothing reads as meant; `what_fails`
// says what.
void warn_of_wide_text(RunResult& result, const FileInMessage& file, WideText wide, std::string_view what_fails);

// `one` or `many`, as `count` asks.
inline std::string_view by_count(std::uint64_t count, std::string_view one, std::string_view many)
{
    return count == 1 ? one : many;
}

// The count and its noun: "1 value", "3 values".
std::string counted(std::uint64_t count, std::string_view one, std::string_view many);

} // namespace cardtab
