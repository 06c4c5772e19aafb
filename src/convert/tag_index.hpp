#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/records.hpp"
#include "convert/card_values.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/words.hpp"

// What the card scanner works out once from the columns, so that most card
// lines cost a look at their first byte: only a line that some tag may
// begin is compared with tags at all.
namespace cardtab {

struct TagIndex {
    std::array<ColumnSet, 256> by_first_byte{}; // the columns whose tag begins with the byte
    // Where the search for a line's colon may start once the line is known
    // to begin with the column's tag.
    std::array<std::size_t, kMaxColumns> colon_from{};
    ColumnSet empty_tags = 0; // they match a line that is blank
    ColumnSet plain_tags = 0; // comparing the line as read tells whether they match
    ColumnSet short_tags = 0; // plain tags compared a word at a time
    std::array<ShortText, kMaxColumns> short_texts{};
    ColumnSet required = 0;
    ColumnSet strips_spaces = 0;
    ColumnSet constant = 0; // with a tag to show
};

TagIndex index_tags(const ColumnTable& columns);

// The first byte of the line once folded.
inline unsigned char folded_first_byte(std::string_view line)
{
    const auto first = static_cast<unsigned char>(line[0]);
    if (line.size() > 1) {
        if (const int pair = fold_pair(first, static_cast<unsigned char>(line[1])); pair != kNoPair) {
            return static_cast<unsigned char>(pair);
        }
    }
    return first;
}

// The columns whose tag the line may begin with.
inline ColumnSet columns_to_try(const TagIndex& index, std::string_view line)
{
    ColumnSet set = line.empty() ? 0 : index.by_first_byte[folded_first_byte(line)];
    if (index.empty_tags != 0 && trim_right(line).empty()) {
        set |= index.empty_tags;
    }
    return set;
}

} // namespace cardtab
