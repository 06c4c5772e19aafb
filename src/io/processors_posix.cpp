#include "io/processors.hpp"

#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

namespace cardtab {

std::size_t processors_for_this_process()
{
#if defined(__linux__)
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof(allowed), &allowed) == 0 && CPU_COUNT(&allowed) > 0) {
        return static_cast<std::size_t>(CPU_COUNT(&allowed));
    }
#endif
    const unsigned online = std::thread::hardware_concurrency();
    return online == 0 ? 1 : online;
}

} // namespace cardtab
