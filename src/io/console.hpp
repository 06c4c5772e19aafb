#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The command line, standard output and error, and the console window
// around the process: the one place besides the file layer where the
// program meets the system.
namespace cardtab {

// The arguments after the program's name, as bytes. Windows gives them as
// UTF-16 and they arrive in UTF-8, so that a name outside the ANSI code
// page (a file dropped on cardtab.exe) is found, not turned into '?'.
std::vector<std::string> program_arguments(int argc, char* argv[]);

enum class Written {
    all,
    reader_gone, // a closed pipe (| head): the reader wants no more
    failed,
};

// Writes lines on standard output, each ended as write_error_line ends it;
// `reason` says why where it fails.
Written write_output_lines(std::span<const std::string> lines, std::string& reason);

// Writes one line, in UTF-8, and the line end: LF, or CR LF on Windows. A
// Windows console is given the text as characters, so that accented names
// show right whatever its code page; anything else gets the bytes.
void write_error_line(std::string_view line);

struct ConsoleFacts {
    unsigned processes = 0;        // processes sharing the console window
    bool input_is_console = false; // standard input is that window's keyboard
};
ConsoleFacts console_facts();

// Whether to hold the console window open after the messages: only for a
// window that exists for this process alone (started from Explorer), whose
// keyboard is standard input, and only when there was something to read.
inline bool keeps_window_open(bool printed, const ConsoleFacts& console)
{
    return printed && console.processes == 1 && console.input_is_console;
}

// Asks for Enter and waits for it, `seconds` at most.
void wait_for_enter(unsigned seconds);

} // namespace cardtab
