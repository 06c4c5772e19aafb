#pragma once

#include <string>
#include <string_view>
#include <utility>
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

// The column value that a logical line gives in a card of that version:
// the whole value, or its component `component` (counting from 1).
std::string model_decoded_value(const ModelLogicalLine& line, bool version_21, bool strips_spaces,
                                std::size_t component = 0);

// A line read as a vCard property: group and name in upper case, and each
// parameter value under its key, in upper case without quotes (and each
// key once with an empty value).
struct ModelProperty {
    bool grouped = false;
    std::string group;
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
    bool preferred = false;
};
ModelProperty model_property(const std::string& line);

// What a column's tag names in decoding mode.
struct ModelSelector {
    bool names_property = false;
    bool grouped = false;
    std::string group;
    std::string name;
    std::vector<std::pair<std::string, std::string>> wanted;
    bool preferred = false;
    std::size_t nth = 1;
    std::size_t component = 0;
};
ModelSelector model_selector(std::string tag, bool cut);

bool model_selects(const ModelSelector& selector, const ModelProperty& property);

} // namespace cardtab::testing
