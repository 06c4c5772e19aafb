#pragma once

#include <string_view>

// Standard error and the console window around the process: the one place
// besides the file layer where the program meets the system.
namespace cardtab {

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
