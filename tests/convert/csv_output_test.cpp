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
    TableCharset charset = TableCharset::windows_1250_plain;
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
        // Titles and constant tags keep their accents in every set: read as
        // UTF-8 where they are, else as Windows-1250.
        {"UTF-8 title in Windows-1250", "P\xC5\x99\xC3\xADjmen\xC3\xAD=N:1\n\xCE\xA0x=FN\n", {"a", "b"},
         "P\xF8\xEDjmen\xED,?x\r\n\"a\",\"b\"\r\n"},
        {"ANSI title stays as it is", "P\xF8\xEDjmen\xED\x81=N:1\n", {"a"}, "P\xF8\xEDjmen\xED\x81\r\n\"a\"\r\n"},
        {"ANSI title and tag in UTF-8", "P\xF8\xEDjmen\xED=N:1\nIdent=\xC8lov\xECk\n", {"a", "x"},
         "\xEF\xBB\xBFP\xC5\x99\xC3\xADjmen\xC3\xAD,Ident\r\n\"a\",\"\xC4\x8Clov\xC4\x9Bk\"\r\n",
         TableCharset::utf8},
        {"UTF-8 tag in every letter", "Ident=\xC4\x8Clov\xC4\x9Bk\n", {"x"}, "Ident\r\n\"\xC8lov\xECk\"\r\n",
         TableCharset::windows_1250},
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
        settings.charset = c.charset;
        CardValues card;
        const std::vector<std::size_t> shown(columns.count, 1);
        prepare_card(card, columns.count, kMaxValueBytes, shown);
        for (std::size_t j = 0; j < columns.count; ++j) {
            c.values[j].copy(slot_bytes(card, j).data(), c.values[j].size());
            card.slots[j].length = c.values[j].size();
        }
        TableWriter table;
        ASSERT_TRUE(create_table_writer(table, files, files.look_up("t.csv")).ok);
        const TableTexts texts = table_texts(settings, columns, kMaxValueBytes);
        write_header(table, settings, columns, texts);
        write_row(table, settings, columns, texts, card);
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
