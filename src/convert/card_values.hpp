#pragma once

#include <array>
#include <cstdint>

#include "config/records.hpp"

namespace cardtab {

// One bit for each column.
using ColumnSet = std::uint64_t;
static_assert(kMaxColumns <= 64, "a column set holds one bit for each column");

// The card in hand, as the scan has it so far: a value for each column and
// which of them are not empty. The columns themselves stay as the
// configuration gave them; what a card brings lives here, cleared at each
// "BEGIN:VCARD".
struct CardValues {
    std::array<FixedText<kMaxValueBytes>, kMaxColumns> values;
    ColumnSet filled = 0;
};

} // namespace cardtab
