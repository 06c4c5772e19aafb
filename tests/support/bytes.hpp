#pragma once

#include <string>
#include <string_view>

namespace cardtab::testing {

// Shows bytes so that a failed comparison can be read: \r, \n, \0 and
// every byte outside printable ASCII as \xNN.
std::string escaped(std::string_view bytes);

} // namespace cardtab::testing
