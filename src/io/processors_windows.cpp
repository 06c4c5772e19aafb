#include "io/processors.hpp"

#include <bit>
#include <thread>

#include <windows.h>

namespace cardtab {

std::size_t processors_for_this_process()
{
    DWORD_PTR process_mask = 0;
    DWORD_PTR system_mask = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0 && process_mask != 0) {
        return static_cast<std::size_t>(std::popcount(static_cast<unsigned long long>(process_mask)));
    }
    const unsigned online = std::thread::hardware_concurrency();
    return online == 0 ? 1 : online;
}

} // namespace cardtab
