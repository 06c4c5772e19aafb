#include "io/console.hpp"

#include <cstdio>

namespace cardtab {

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
