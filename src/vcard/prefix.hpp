#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

// The prefix of a card line read as vCard writes it: the name, its group and
// its parameters, before the colon that starts the value. Parameter values
// in double quotes may hold ':' and ';'.
namespace cardtab {

// Where a line's prefix ends, worked out as the line's bytes come: at its
// first ':' at position 1 or later outside a quoted parameter value. A
// double quote opens a quoted value only right after a '=' or a ',' that
// follows the line's first ';'; the next double quote closes it. Where a
// quote is never closed, the prefix ends at the first ':' at position 1 or
// later after all.
struct PrefixScan {
    std::size_t scanned = 0;
    std::size_t first_semicolon = std::string_view::npos;
    bool in_quotes = false;
    std::size_t first_colon = std::string_view::npos; // quoted or not
    std::size_t colon = std::string_view::npos;       // outside quotes
};

// Looks at the bytes of `text` from `scan.scanned` on; `text` is the line so
// far, which only grows between calls (or is cut back to no less than what
// has been scanned).
void scan_prefix(PrefixScan& scan, std::string_view text);

// The prefix colon as far as the scan has seen: npos where there is none.
std::size_t prefix_colon(const PrefixScan& scan);

// The same for a whole line.
std::size_t find_prefix_colon(std::string_view line);

// A prefix split at its first ';': `name` is the text before it, without
// its group (up to the name's last '.'), and `parameters` the rest.
struct PrefixParts {
    std::string_view group;
    std::string_view name;
    std::string_view parameters;
    bool grouped = false; // the name holds a '.'
};
PrefixParts split_prefix(std::string_view prefix);

// A parameter: its key, the text before its first '=', or "TYPE" for a
// bare one (vCard 2.1's TEL;CELL); and its values, the text after the '='
// (or the whole bare parameter), which next_value splits at each ','.
struct Parameter {
    std::string_view key;
    std::string_view values;
    bool bare = false;
};

// The parameters of a prefix, split at each ';' outside quotes, every one
// of them, in order. A prefix lies in a line of at most 4,096 bytes, and
// each parameter but the last takes a byte and its ';': the last
// kMaxParameters-th takes the rest of the prefix, whatever it holds.
inline constexpr std::size_t kMaxParameters = 2049;
struct SplitParameters {
    std::array<Parameter, kMaxParameters> parameters;
    std::size_t count = 0;
    std::span<const Parameter> split() const { return {parameters.data(), count}; }
};

// Splits `parameters`, a prefix's text after its name's ';', into `split`.
void split_parameters(std::string_view parameters, SplitParameters& split);

// Takes the next value from `values`, up to a ','.
std::string_view next_value(std::string_view& values);

// Compares in any ASCII letter case, `upper` being in upper case, the
// double quotes of `text` counting as not there.
bool equals_unquoted(std::string_view text, std::string_view upper);

// The values, split at ',', hold `value` (in upper case).
bool holds_value(std::string_view values, std::string_view value);

// The parameters hold `value` (in upper case) under `key` (in upper case).
bool has_parameter_value(const SplitParameters& split, std::string_view key, std::string_view value);

// The first value of the first parameter with `key`, given with a '=';
// `found` says whether there is one.
std::string_view first_parameter_value(const SplitParameters& split, std::string_view key, bool& found);

// A line's place among the lines a column takes: 1 the most preferred,
// kLowestRank the least, kUnranked for a line that names no preference.
inline constexpr unsigned kLowestRank = 100;
inline constexpr unsigned kUnranked = kLowestRank + 1;

// The lowest rank the parameters give: n for vCard 4.0's PREF=n (1 to
// kLowestRank, quotes and leading zeros aside; any other value counts as
// kLowestRank), 1 where TYPE holds the value PREF (vCard 2.1's bare PREF
// too); kUnranked for none.
unsigned preference_rank(const SplitParameters& split);

} // namespace cardtab
