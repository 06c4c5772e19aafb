#include "app/report.hpp"

#include "io/console.hpp"
#include "text/printable.hpp"

namespace cardtab {

namespace {

constexpr unsigned kSecondsToHoldWindow = 60;

} // namespace

int report_run(const RunResult& result)
{
    for (const std::string& message : result.silent ? std::vector<std::string>() : result.messages) {
        write_error_line(printable(message));
    }
    if (keeps_window_open(!result.messages.empty(), console_facts())) {
        wait_for_enter(kSecondsToHoldWindow);
    }
    return exit_status(result);
}

int report_listing(TagListing& listing)
{
    std::string reason;
    if (write_output_lines(listing.lines, reason) == Written::failed) {
        fail(listing.result, "cannot write the tags to standard output: " + reason);
    }
    return report_run(listing.result);
}

} // namespace cardtab
