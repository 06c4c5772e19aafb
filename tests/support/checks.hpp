#pragma once

#include <string_view>

// What the fuzzers check, also run by the test suite on every stored input.
// Each check aborts the process when the program breaks a promise.
namespace cardtab::fuzzing {

// The input's first two bytes choose where the rest splits into a
// configuration and a card file, and whether the run decodes; the whole
// conversion runs in memory.
void check_conversion(std::string_view input);

// The input read as a file with buffers of many sizes and reads of many
// lengths gives the same pieces every time, and the pieces a plain model of
// the text-mode rules gives.
void check_line_reader(std::string_view input);

} // namespace cardtab::fuzzing
