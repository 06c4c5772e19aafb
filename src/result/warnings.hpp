#pragma once

#include <span>
#include <string>
#include <string_view>

#include "config/records.hpp"
#include "result/findings.hpp"
#include "result/run_result.hpp"

// The warnings, in one table: for each, when it applies, what it says and
// which later ones it holds back. A run says them all at its end, from what
// it found; nothing else in the program words a warning.
namespace cardtab {

// What the warnings name besides the findings.
struct RunFacts {
    const ColumnTable& columns;
    char separator = ',';
    // The card files read, or to be read, in order; at least one.
    std::span<const std::string> card_names;
    std::string_view table_name;
    // The command that lists the tags of this run's card file, as the user
    // would type it.
    std::string listing_command;
    bool decoding = false;
    bool listing = false; // --tags: the cards are listed, no table is written
};

// Says each warning the findings call for, in the table's order, before
// the run's failure if it has one; those about a table that was written
// only when it was.
void say_findings(const RunFindings& findings, const RunFacts& facts, RunResult& result);

} // namespace cardtab
