#pragma once

#include "convert/run.hpp"
#include "result/run_result.hpp"

namespace cardtab {

// Prints the run's messages, one a line, on standard error, each escaped
// so that nothing in a name can steer the terminal, and holds a window of
// its own open until Enter; returns the process exit status.
int report_run(const RunResult& result);

// Prints the listing on standard output, then reports the run. A reader
// that goes away (| head) ends the listing quietly.
int report_listing(TagListing& listing);

} // namespace cardtab
