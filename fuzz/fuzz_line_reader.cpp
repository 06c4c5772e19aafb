#include <cstddef>
#include <cstdint>

#include "support/checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    cardtab::fuzzing::check_line_reader({reinterpret_cast<const char*>(data), size});
    return 0;
}
