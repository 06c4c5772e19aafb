#pragma once

#include <cstddef>

namespace cardtab {

// The processors this process may run on (taskset, start /affinity), at
// least one: a scan spread over more threads than that only waits on them.
std::size_t processors_for_this_process();

} // namespace cardtab
