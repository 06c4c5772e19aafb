#pragma once

#include <string>
#include <string_view>

namespace cardtab {

// A message as it may be shown on a terminal: printable ASCII and valid
// UTF-8 stay; a control byte or a byte that is not UTF-8 becomes \xHH, and a
// control or invisible character (U+0085, U+200B, U+FEFF ...) becomes
// \u{HHHH}, so that no name from a file can move the cursor, hide part of
// the line or vanish from it.
std::string printable(std::string_view text);

} // namespace cardtab
