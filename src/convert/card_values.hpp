#pragma once

#include <array>
#include <cstdint>

#include "config/records.hpp"

namespace cardtab {

// The values of the lines a column takes in the decoding mode, in rank:
// the preferred lines first, then the others, each in file order. Only as
// many as the column shows the last of are kept: those before it here, the
// one it shows as the card's value for the column.
struct RankedValues {
    std::array<FixedText<kMaxValueBytes>, kMaxNthLine - 1> before_shown;
    // The line each was cut on, or 0 where nothing but blanks was cut.
    std::array<std::size_t, kMaxNthLine - 1> cut_lines{};
    std::size_t count = 0;
    std::size_t preferred = 0; // of those kept
};

// The card in hand, as the scan has it so far: a value for each column and
// which of them are not empty. The columns themselves stay as the
// configuration gave them; what a card brings lives here, cleared at each
// "BEGIN:VCARD".
struct CardValues {
    std::array<FixedText<kMaxValueBytes>, kMaxColumns> values;
    ColumnSet filled = 0;
    // Values that lost text to their capacity, and the lines they came from.
    ColumnSet cut = 0;
    std::array<std::size_t, kMaxColumns> cut_lines{};
    std::array<RankedValues, kMaxColumns> ranked;
};

} // namespace cardtab
