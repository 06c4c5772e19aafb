#include "io/console.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace cardtab {

std::vector<std::string> program_arguments(int argc, char* argv[])
{
    return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

Written write_output_lines(std::span<const std::string> lines, std::string& reason)
{
    for (const std::string& line : lines) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return Written::all;
    }
    if (errno == EPIPE) {
        return Written::reader_gone;
    }
    reason = std::strerror(errno == 0 ? EIO : errno);
    return Written::failed;
}

// The line and its end in one write, so that runs sharing standard error
// never mix their lines.
void write_error_line(std::string_view line)
{
    const std::string whole = std::string(line).append(1, '\n');
    std::fwrite(whole.data(), 1, whole.size(), stderr);
}

// A terminal window here belongs to its shell, never to the program alone.
ConsoleFacts console_facts()
{
    return {};
}

void wait_for_enter(unsigned) {}

} // namespace cardtab
