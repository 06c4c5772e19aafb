#include "io/console.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

void write_error_line(std::string_view line)
{
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

// A terminal window here belongs to its shell, never to the program alone.
ConsoleFacts console_facts()
{
    return {};
}

void wait_for_enter(unsigned) {}

} // namespace cardtab
