#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/charsets.hpp"

// A model of the whole conversion, written from the rules as plainly as
// possible: byte loops, whole lines folded, nothing fast. It shares the
// capacities and the character tables' data with the program and no code,
// so that the program's tables can be checked against it byte for byte.
namespace cardtab::testing {

// A file read as text: CR LF as LF, and 0x1A ends it.
std::string model_text_mode(std::string_view bytes);

// The text in pieces of at most 1,999 bytes that end after a line feed,
// each cut at its first zero byte.
std::vector<std::string> model_pieces(std::string_view bytes);

struct ModelConversion {
    bool refused = false; // a base name in the configuration is too long
    std::string card_name;
    std::string table_name;
    std::string table; // the table's bytes, when the card file is there
    char separator = ',';
    std::size_t columns = 0;
};

// The command line's options.
struct ModelOptions {
    bool decode = false; // --decode
    bool outlook = false;
    std::optional<TableCharset> charset; // --utf8, --accents
};

// What a run makes of `configuration` (none: no cardtab.ini) and of the
// card file it names holding `cards`.
ModelConversion model_conversion(const std::optional<std::string>& configuration, std::string_view cards,
                                 const ModelOptions& options = {});

} // namespace cardtab::testing
