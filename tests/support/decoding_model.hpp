#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/charsets.hpp"

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
// the whole value, or its component `component` (counting from 1), in the
// table's character set.
std::string model_decoded_value(const ModelLogicalLine& line, bool version_21, bool strips_spaces,
                                std::size_t component = 0,
                                TableCharset charset = TableCharset::windows_1250_plain);

// Characters (-1 for a byte that is no character) in the table's set: a
// character Windows-1250 lacks as '?' there.
std::string model_in_table_charset(const std::vector<long>& characters, TableCharset charset);

// The characters of bytes read as UTF-8, or as Windows-1250.
std::vector<long> model_characters(const std::string& bytes, bool utf8);

// How long an incomplete UTF-8 sequence at the very end is: a lead byte and
// fewer continuation bytes than it needs, as could still begin a character.
std::size_t model_incomplete_utf8_end(const std::string& bytes);

// The first `capacity` bytes of a text in the table's set, without half a
// UTF-8 character at the end.
std::string model_cut(const std::string& text, std::size_t capacity, TableCharset charset);

// A line read as a vCard property: group and name in upper case, and each
// parameter value under its key, in upper case without quotes (and each
// key once with an empty value).
struct ModelProperty {
    bool grouped = false;
    std::string group;
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
    unsigned rank = 101; // PREF=n gives n, TYPE=PREF 1; 101 for none
};
ModelProperty model_property(const std::string& line);

// What a column's tag names in decoding mode.
struct ModelSelector {
    bool names_property = false;
    bool grouped = false;
    std::string group;
    std::string name;
    std::vector<std::pair<std::string, std::string>> wanted;
    std::vector<std::pair<std::string, std::string>> forbidden; // '!' before the parameter
    bool preferred = false;
    std::size_t nth = 1;
    std::size_t component = 0;
};
ModelSelector model_selector(std::string tag, bool cut);

bool model_selects(const ModelSelector& selector, const ModelProperty& property);

} // namespace cardtab::testing
