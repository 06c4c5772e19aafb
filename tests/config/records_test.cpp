#include "config/records.hpp"

#include <gtest/gtest.h>

namespace cardtab {
namespace {

struct TitleCase {
    std::string_view title;
    bool required;
    bool strips_spaces;
    bool constant;
};

constexpr TitleCase kTitleCases[] = {
    {"Name", false, false, false},
    {"N*Name", true, false, false},
    {"#Phone", true, true, false},
    {"x*#Phone", true, true, false},
    {"Ident", false, false, true},
    {"ident", false, false, false},
    {"xIdent", false, false, true},
    {"Identity", false, false, true},
    {"IIdent", false, false, false},
    {"Ident*Id", true, false, true},
    {"*", true, false, false},
    {"", false, false, false},
};

TEST(ColumnMarks, ComeFromTheTitle)
{
    for (const TitleCase& c : kTitleCases) {
        ColumnTable table;
        add_column(table, c.title, "TAG");
        const Column& column = table.columns[0];
        EXPECT_EQ(column.marks.is_required, c.required) << c.title;
        EXPECT_EQ(column.marks.strips_spaces, c.strips_spaces) << c.title;
        EXPECT_EQ(column.marks.is_constant, c.constant) << c.title;
    }
}

TEST(RunSettings, StarStandsForTheInputBaseName)
{
    struct Case {
        std::string_view input;
        std::string_view output;
        std::string_view effective;
    };
    const Case cases[] = {
        {"import", "*", "import"},
        {"import", "*abc", "import"},
        {"people", "out", "out"},
        {"people", "", ""},
        {"people", "a*", "a*"},
    };
    for (const Case& c : cases) {
        RunSettings settings = default_settings();
        assign(settings.input_base_name, c.input);
        assign(settings.output_base_name, c.output);
        EXPECT_EQ(effective_output_base_name(settings), c.effective) << c.output;
    }
}

TEST(FixedText, CutsAtItsCapacity)
{
    FixedText<3> text;
    EXPECT_TRUE(assign(text, "abc"));
    EXPECT_EQ(view(text), "abc");
    EXPECT_FALSE(assign(text, "abcd"));
    EXPECT_EQ(view(text), "abc");
}

} // namespace
} // namespace cardtab
