#include "app/program.hpp"

#include "app/command_line.hpp"
#include "app/report.hpp"
#include "convert/run.hpp"
#include "io/console.hpp"
#include "io/interrupts.hpp"
#include "io/native_files.hpp"
#include "text/printable.hpp"

namespace cardtab {

namespace {

// Said at once, in the middle of the run, not with its messages at the end.
void say_at_once(std::string_view line)
{
    write_error_line(printable(std::string(kProgramPrefix).append(line)));
}

} // namespace

int run_program(std::span<const std::string> arguments)
{
    RunOptions options;
    options.lock_wait.say = say_at_once;
    std::string refusal;
    const Request request = read_command_line(arguments, options, refusal);
    switch (request) {
    case Request::refused:
        return refuse(refusal);
    case Request::help:
    case Request::version:
        return answer(request);
    case Request::list_tags: {
        NativeFiles files;
        TagListing listing = list_tags(files, options);
        return report_listing(listing);
    }
    case Request::convert:
        break;
    }
    install_interrupt_cleanup();
    NativeFiles files;
    return report_run(run_conversion(files, options));
}

} // namespace cardtab
