#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/records.hpp"
#include "convert/card_values.hpp"
#include "text/fixed_text.hpp"
#include "vcard/value_decoding.hpp"
#include "vcard/prefix.hpp"

// What a column's tag names in the decoding mode: a vCard property, as
// [group.]NAME{;PARAMETER}[[n]][:k] — the lines it takes, which of them
// the column shows, and which component of its value.
namespace cardtab {

inline constexpr std::size_t kMaxComponent = 99;

// A value that a line must have under a key, both in upper case, or, with
// '!' before the tag's parameter, must not have.
struct Requirement {
    FixedText<kMaxTagBytes> key;
    FixedText<kMaxTagBytes> value;
    bool forbidden = false;
};

// A tag's parameter that begins with it asks for lines without its values.
inline constexpr char kNot = '!';

struct Selector {
    bool names_property = false;
    bool grouped = false;
    FixedText<kMaxTagBytes> group; // in upper case
    FixedText<kMaxTagBytes> name;  // in upper case
    // Each parameter value of the tag but TYPE=PREF; a tag holds at most ten.
    std::array<Requirement, kMaxTagBytes / 2> requirements;
    // Each requirement's place among every column's (RequirementIndex).
    std::array<std::uint16_t, kMaxTagBytes / 2> requirement_ids{};
    std::size_t requirement_count = 0;
    bool wants_preferred = false; // the tag's own PREF: any ranked line meets it
    std::size_t nth_line = 1;
    std::size_t component = 0; // 0 for the whole value
};

// A group or a property name that a tag can write: not empty, and no ':',
// ';', '[', ']' or '"' in it.
bool is_plain_part(std::string_view part);

// Reads a tag; a tag that the configuration cut names no property, and
// neither does one that fits no part of the form.
Selector read_selector(std::string_view tag, bool cut);

// Every (key, value) the columns' tags ask for, each once, and a table to
// find one from a line's parameter in a step: a line with many parameters
// is looked at once, not once for each requirement of each column.
struct RequirementIndex {
    static constexpr std::size_t kMaxDistinct = kMaxColumns * (kMaxTagBytes / 2);
    static constexpr std::size_t kSlots = 1024; // a power of two, at least twice kMaxDistinct
    using Pair = FixedText<2 * kMaxTagBytes + 1>; // "KEY=VALUE", in upper case, no quotes
    std::array<Pair, kMaxDistinct> pairs;
    std::array<std::uint16_t, kSlots> slots{}; // a pair's place + 1, 0 for none
    std::size_t count = 0;
};
using RequirementSet = std::bitset<RequirementIndex::kMaxDistinct>;

// Which of the requirements a line's parameters meet.
RequirementSet requirements_met(const RequirementIndex& index, const SplitParameters& parameters);

// The line, its prefix split into group, name and parameters, is one the
// selector takes: the names are equal, the groups too where the tag names
// one, every value the tag asks under a key is among the line's and none
// it forbids is, and the line is ranked where the tag asks for PREF.
// `met`, where given, tells the requirements the parameters meet.
bool selects(const Selector& selector, std::string_view group, bool grouped, std::string_view name,
             const SplitParameters& parameters, unsigned rank, const RequirementSet* met = nullptr);

// The columns' tags read as the properties they name, and which columns a
// property name may begin with a byte, in upper case.
struct ColumnSelectors {
    explicit ColumnSelectors(const ColumnTable& table);
    const ColumnTable& columns;
    std::array<Selector, kMaxColumns> selectors;
    std::array<ColumnSet, 256> by_first_byte{};
    RequirementIndex requirements;
};

// What a card line's prefix says in the decoding mode: which columns take
// the line, its rank among their lines, how its value is written.
struct PrefixReading {
    ColumnSet matching = 0;
    unsigned rank = kUnranked;
    bool uri = false; // VALUE=uri: a value "tel:..." is a number
    ValueEncoding encoding;
};

// Reads a prefix as a property (its group, name and parameters, split into
// `parameters`) and finds the columns whose tags select it. Most lines a
// column could not take cost a look at their name only.
PrefixReading read_prefix(const ColumnSelectors& columns, std::string_view prefix, SplitParameters& parameters);

} // namespace cardtab
