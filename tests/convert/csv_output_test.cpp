#include "convert/csv_output.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configuration.hpp"
#include "support/bytes.hpp"
#include "support/memory_files.hpp"

namespace cardtab {
namespace {

using testing::escaped;
using testing::MemoryFiles;

struct RowCase {
    std::string name;
    std::string configuration;
    std::vector<std::string> values;
    std::string expected; // the header line, then the data line
};

std::vector<RowCase> row_cases()
{
    return {
        {"separator from the configuration", "Name=FN\n#Phone=TEL\n;", {"Jan Novak", "+420123456"},
         "Name;#Phone\r\n\"Jan Novak\";\"+420123456\"\r\n"},
        {"header after the star", "N*Name=N:\nMail=EMAIL\n", {"Doe John", "j@x"},
         "Name,Mail\r\n\"Doe John\",\"j@x\"\r\n"},
        {"empty title and empty value", "Name=FN\n=X\nMail=EMAIL\n", {"a", "", "c"},
         "Name,,Mail\r\n\"a\",\"\",\"c\"\r\n"},
        {"inner quote doubled", "Note=NOTE\n", {"a\"b"}, "Note\r\n\"a\"\"b\"\r\n"},
        {"value right-trimmed", "Note=NOTE\n", {"  a b  "}, "Note\r\n\"  a b\"\r\n"},
        {"constant column shows its tag", "Ident=Person\nName=FN\n", {"ignored", "Jan"},
         "Ident,Name\r\n\"Person\",\"Jan\"\r\n"},
        {"title holding the separator is quoted", "Last, First=N:\n", {"Doe"},
         "\"Last, First\"\r\n\"Doe\"\r\n"},
        {"title holding a quote is quoted", "Say \"hi\"=X\n", {"x"}, "\"Say \"\"hi\"\"\"\r\n\"x\"\r\n"},
        {"title holding a CR is quoted", "A\rB=X\n", {"x"}, "\"A\rB\"\r\n\"x\"\r\n"},
        {"comma is plain with another separator", "Last, First=N:\n;", {"Doe"},
         "Last, First\r\n\"Doe\"\r\n"},
        {"no columns", "", {}, "\r\n\r\n"},
        {"CR inside a value stays", "Note=NOTE\n", {"a\rb"}, "Note\r\n\"a\rb\"\r\n"},
    };
}

TEST(CsvOutput, WritesHeaderAndDataLines)
{
    for (const RowCase& c : row_cases()) {
        MemoryFiles files;
        files.files[std::string(kConfigurationFileName)] = c.configuration;
        RunSettings settings = default_settings();
        ColumnTable columns;
        ConfigurationFindings found;
        RunResult result;
        ASSERT_NE(load_configuration(files, settings, columns, found, result), ConfigurationOutcome::failed) << c.name;
        ASSERT_EQ(columns.count, c.values.size()) << c.name;
        CardValues card;
        for (std::size_t j = 0; j < columns.count; ++j) {
            assign(card.values[j], c.values[j]);
        }
        TableWriter table;
        ASSERT_TRUE(create_table_writer(table, files, files.look_up("t.csv")).ok);
        write_header(table, settings, columns);
        write_row(table, settings, columns, card);
        ASSERT_TRUE(close_table_writer(table).ok);
        ASSERT_TRUE(commit_table(table).ok);
        EXPECT_EQ(escaped(files.files["t.csv"]), escaped(c.expected)) << c.name;
    }
}

TEST(CsvOutput, HeaderShowsTheTitleAfterItsFirstStar)
{
    const struct {
        std::string_view title;
        std::string_view header;
    } cases[] = {
        {"Name", "Name"}, {"N*Name", "Name"}, {"x*#Phone", "#Phone"}, {"a*b*c", "b*c"}, {"*", ""}, {"", ""},
    };
    for (const auto& c : cases) {
        ColumnTable table;
        add_column(table, c.title, "TAG");
        EXPECT_EQ(header_text(table.columns[0]), c.header) << c.title;
    }
}

} // namespace
} // namespace cardtab
