#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "result/run_result.hpp"
#include "text/charsets.hpp"
#include "io/file_layer.hpp"
#include "io/line_reader.hpp"
#include "convert/card_scanner.hpp"
#include "io/table_writer.hpp"

namespace cardtab {

// The table name that stands for standard output.
inline constexpr std::string_view kStandardOutputName = "-";

// What the command line asks of a run.
struct RunOptions {
    // Decode the card file whatever cardtab.ini says (--decode).
    bool decode = false;
    // Outlook's columns and layout in place of cardtab.ini's (--outlook).
    bool outlook = false;
    // The table's character set whatever cardtab.ini says (--utf8,
    // --accents).
    std::optional<TableCharset> charset;
    // The card files and folders, and the table, named on the command line,
    // used as they are; empty where none is named. With a card file named,
    // cardtab.ini names no file, and the table lies beside the first name.
    std::vector<std::string> cards;
    std::string table;
    // How long to wait for another program that holds the table.
    LockWait lock_wait;
    // The threads that scan a large card file (0: one for each core, up to
    // four), and the size of the parts they take.
    ScanSpread spread{0, kScanPartBytes};
};

// One whole run: the configuration, then the card files, then the table
// file, which holds the rows of every card file in turn.
// Relative names resolve wherever `files` resolves them. cardtab.ini is
// read from the current folder, or else from the program's.
RunResult run_conversion(FileLayer& files, const RunOptions& options = {});

// What --tags has to show: a line for each tag the cards hold.
struct TagListing {
    RunResult result;
    std::vector<std::string> lines;
};

// Reads the card files as a run would, and counts their tags; writes
// nothing.
TagListing list_tags(FileLayer& files, const RunOptions& options = {});

} // namespace cardtab
