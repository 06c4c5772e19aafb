#include <cstddef>

#include "app/command_line.hpp"
#include "app/report.hpp"
#include "convert/run.hpp"
#include "io/interrupts.hpp"
#include "io/native_files.hpp"

// Everything comes from cardtab.ini; the only arguments are the questions
// of --help and --version, and --decode.
int main(int argc, char* argv[])
{
    cardtab::RunOptions options;
    const cardtab::Request request = cardtab::read_command_line({argv + 1, static_cast<std::size_t>(argc - 1)}, options);
    if (request != cardtab::Request::convert) {
        return cardtab::answer(request);
    }
    cardtab::install_interrupt_cleanup();
    cardtab::NativeFiles files;
    return cardtab::report_run(cardtab::run_conversion(files, options));
}
