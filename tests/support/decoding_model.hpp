#pragma once

#include <string>
#include <string_view>
#include <vector>

// The decoding mode written as plainly as the rest of the model: whole
// strings, one rule after another, nothing fast. It shares the tables'
// data with the program and no code.
namespace cardtab::testing {

struct ModelLogicalLine {
    std::string text; // the bytes that are kept: the first 4,096
    bool cut = false; // the line was longer
};

// A card file read as vCard: physical lines joined into logical lines.
std::vector<ModelLogicalLine> model_logical_lines(std::string_view bytes);

// The column value that a logical line gives in a card of that version.
std::string model_decoded_value(const ModelLogicalLine& line, bool version_21, bool strips_spaces);

} // namespace cardtab::testing
