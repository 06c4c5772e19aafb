#include "config/records.hpp"

#include <gtest/gtest.h>

namespace cardtab {
namespace {

struct TitleCase {
    std::string_view title;
    std::string_view header;
    bool required;
    bool strips_spaces;
    bool constant;
};

constexpr TitleCase kTitleCases[] = {
    {"Name", "Name", false, false, false},
    {"N*Name", "Name", true, false, false},
    {"#Phone", "#Phone", true, true, false},
    {"x*#Phone", "#Phone", true, true, false},
    {"Ident", "Ident", false, false, true},
    {"ident", "ident", false, false, false},
    {"xIdent", "xIdent", false, false, true},
    {"Identity", "Identity", false, false, true},
    {"IIdent", "IIdent", false, false, false},
    {"Ident*Id", "Id", true, false, true},
    {"a*b*c", "b*c", true, false, false},
    {"*", "", true, false, false},
    {"", "", false, false, false},
};

TEST(ColumnMarks, ComeFromTheTitle)
{
    for (const TitleCase& c : kTitleCases) {
        ColumnTable table;
        add_column(table, c.title, "TAG");
        const Column& column = table.columns[0];
        EXPECT_EQ(header_text(column), c.header) << c.title;
        EXPECT_EQ(column.marks.is_required, c.required) << c.title;
        EXPECT_EQ(column.marks.strips_spaces, c.strips_spaces) << c.title;
        EXPECT_EQ(column.marks.is_constant, c.constant) << c.title;
        EXPECT_EQ(column.value.length, 0u) << c.title;
    }
}

TEST(RunSettings, DefaultToImportAndAComma)
{
    const RunSettings settings = default_settings();
    EXPECT_EQ(view(settings.input_base_name), "import");
    EXPECT_EQ(view(settings.output_base_name), "*");
    EXPECT_EQ(settings.separator, ',');
    EXPECT_EQ(settings.quote, '"');
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
