#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "config/records.hpp"
#include "vcard/prefix.hpp"

namespace cardtab {

// What a line a column takes brought: its value's length, the line its
// value lost text to the capacity on (0 for none), and its rank.
struct TakenValue {
    std::size_t length = 0;
    std::size_t cut_line = 0;
    unsigned rank = kUnranked;
};

// The card in hand, as the scan has it so far: a value for each column and
// which of them are not empty. The columns themselves stay as the
// configuration gave them; what a card brings lives here, cleared at each
// "BEGIN:VCARD". Decoding, a column that shows the n-th of its lines keeps
// the n-1 before it too, in its order.
struct CardValues {
    // The bytes a value holds, and the values kept, each in a slot of that
    // many bytes: first the one each column shows, then, column by column,
    // those ranked before it.
    std::size_t capacity = kMaxValueBytes;
    std::vector<char> bytes;
    std::vector<TakenValue> slots;
    // Where column j's lines ranked before the one it shows begin among
    // the slots, and how many of its lines are kept, the shown one too.
    std::array<std::size_t, kMaxColumns> first_ranked{};
    std::array<std::size_t, kMaxColumns> ranked{};
    ColumnSet filled = 0;
    ColumnSet cut = 0; // values that lost text to their capacity
};

// Room for `count` columns' values of `capacity` bytes, column j keeping
// the `shown[j]` - 1 lines before the one it shows.
inline void prepare_card(CardValues& card, std::size_t count, std::size_t capacity,
                         std::span<const std::size_t> shown)
{
    std::size_t slots = count;
    for (std::size_t j = 0; j < count; ++j) {
        card.first_ranked[j] = slots;
        slots += shown[j] - 1;
    }
    card.capacity = capacity;
    card.bytes.assign(slots * capacity, '\0');
    card.slots.assign(slots, TakenValue{});
}

inline std::span<char> slot_bytes(CardValues& card, std::size_t slot)
{
    return {card.bytes.data() + slot * card.capacity, card.capacity};
}

// The value column j shows.
inline std::string_view shown_value(const CardValues& card, std::size_t j)
{
    return {card.bytes.data() + j * card.capacity, card.slots[j].length};
}

} // namespace cardtab
