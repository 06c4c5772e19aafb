#pragma once

#include <span>

namespace cardtab {

// Replaces, in place, each of the 41 accented Czech, Slovak and Hungarian
// Windows-1250 letters by its plain ASCII letter. Other bytes stay.
void strip_diacritics(std::span<char> text);

} // namespace cardtab
