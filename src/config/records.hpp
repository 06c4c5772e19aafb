#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/fixed_text.hpp"
#include "text/value_rules.hpp"

// The records that carry a run from the configuration to the table.
namespace cardtab {

inline constexpr std::size_t kMaxColumns = 50;
inline constexpr std::size_t kMaxTitleBytes = 99;
inline constexpr std::size_t kMaxTagBytes = 20;
inline constexpr std::size_t kMaxValueBytes = 100;
inline constexpr std::size_t kMaxBaseNameBytes = 95;
// When decoding, a column shows at most the ninth of the lines it takes,
// ranked by PREF from 1 on, and a value holds as much of its text as a line
// keeps.
inline constexpr std::size_t kMaxNthLine = 9;
inline constexpr std::size_t kMaxDecodedValueBytes = 4096;

inline constexpr std::string_view kDefaultInputBaseName = "import";
inline constexpr std::string_view kDefaultOutputBaseName = "*";
// A file's name ends in these, in any letter case: the configuration's
// lines that name files hold them, and a table's name must end in ".csv".
inline constexpr std::string_view kCardFileExtension = ".vcf";
inline constexpr std::string_view kTableFileExtension = ".csv";

inline constexpr std::string_view kConfigurationFileName = "cardtab.ini";

using BaseName = FixedText<kMaxBaseNameBytes>;

struct RunSettings {
    BaseName input_base_name;
    // A name whose first byte is "*" stands for the input base name.
    BaseName output_base_name;
    char separator = ',';
    char quote = '"';
    // The card file's line asks to read it as vCard ("people.vcf decode").
    bool decode = false;
    // What the table is written in.
    TableCharset charset = TableCharset::windows_1250_plain;
};

// What a column's title marks, worked out once when the column is added;
// titles never change afterwards.
struct ColumnMarks {
    bool is_required = false;
    bool strips_spaces = false;
    bool is_constant = false;
};

// A column as the configuration gives it; the values of a card are the
// scan's own (CardValues).
struct Column {
    FixedText<kMaxTitleBytes> title;
    FixedText<kMaxTagBytes> tag;
    ColumnMarks marks;
    bool tag_cut = false;        // the configuration's tag was longer
    std::size_t line_number = 0; // of the configuration, for messages
};

// One bit for each column.
using ColumnSet = std::uint64_t;
static_assert(kMaxColumns <= 64, "a column set holds one bit for each column");

struct ColumnTable {
    std::array<Column, kMaxColumns> columns;
    std::size_t count = 0;
};

RunSettings default_settings();

// The marks a title carries: "*" or "#" make the column required, "#" makes
// it drop spaces, "Ident" makes it show its tag. Each mark counts wherever
// find_text finds it, so 'IIdent' carries no "Ident".
ColumnMarks marks_of_title(std::string_view title);

// Appends a column. The caller keeps count below
// kMaxColumns and title and tag within their capacities.
void add_column(ColumnTable& table, std::string_view title, std::string_view tag);

std::string_view effective_output_base_name(const RunSettings& settings);

} // namespace cardtab
