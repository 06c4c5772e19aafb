#include "config/configuration.hpp"

#include <gtest/gtest.h>

#include <string>

#include "result/warnings.hpp"
#include "support/bytes.hpp"
#include "support/memory_files.hpp"

namespace cardtab {
namespace {

using testing::escaped;
using testing::MemoryFiles;

// What a configuration leaves: the names, the separator, the columns as
// title=tag joined by '|', and the messages joined by '|'.
struct Loaded {
    bool ok = false;
    std::string input;
    std::string output;
    char separator = 0;
    std::string columns;
    std::string messages;
    bool decode = false;
    TableCharset charset = TableCharset::windows_1250_plain;
};

Loaded load(const std::string& configuration)
{
    MemoryFiles files;
    files.files[std::string(kConfigurationFileName)] = configuration;
    RunSettings settings = default_settings();
    ColumnTable columns;
    RunResult result;
    RunFindings findings;
    Loaded loaded;
    loaded.ok = load_configuration(files, settings, columns, findings.configuration, result) !=
                ConfigurationOutcome::failed;
    // Said as after a listing that read no card file: what the
    // configuration's lines call for, and nothing about a table.
    say_findings(findings, {columns, settings.separator, {}, {}, {}, false, true}, result);
    loaded.input = escaped(view(settings.input_base_name));
    loaded.output = escaped(view(settings.output_base_name));
    loaded.separator = settings.separator;
    loaded.decode = settings.decode;
    loaded.charset = settings.charset;
    for (std::size_t j = 0; j < columns.count; ++j) {
        const Column& column = columns.columns[j];
        loaded.columns += (j > 0 ? "|" : "") + escaped(view(column.title)) + "=" + escaped(view(column.tag));
    }
    for (const std::string& message : result.messages) {
        loaded.messages += (loaded.messages.empty() ? "" : "|") + message;
    }
    EXPECT_EQ(result.failed, !loaded.ok);
    EXPECT_EQ(files.open_count(), 0u) << "the configuration file is closed";
    return loaded;
}

std::string column_lines(std::size_t count)
{
    std::string lines;
    for (std::size_t n = 1; n <= count; ++n) {
        lines += "C" + std::to_string(n) + "=TAG\n";
    }
    return lines;
}

std::string repeated_columns(std::size_t count)
{
    std::string columns;
    for (std::size_t n = 1; n <= count; ++n) {
        columns += (n > 1 ? "|C" : "C") + std::to_string(n) + "=TAG";
    }
    return columns;
}

// The columns that pieces of a line of A's make.
std::string repeated_pieces(std::size_t count)
{
    const std::string tag(20, 'A');
    std::string columns;
    for (std::size_t n = 1; n <= count; ++n) {
        columns += (n > 1 ? "|" : "") + tag + "=" + tag;
    }
    return columns;
}

// The warnings of `count` columns cut from lines of A's, on line `line`.
std::string cut_warnings(std::size_t count, std::size_t line, std::string_view cut)
{
    std::string messages;
    for (std::size_t n = 0; n < std::min<std::size_t>(count, 5); ++n) {
        messages += std::string(n > 0 ? "|" : "") + "cardtab: warning: cardtab.ini: line " + std::to_string(line) +
                    ": the tag 'AAAAAAAAAAAAAAAAAAAA' of the column 'AAAAAAAAAAAAAAAAAAAA' is cut at 20 bytes; '" +
                    std::string(cut) + "' after it is left out";
    }
    if (count > 5) { // the rest counted in one
        messages += "|cardtab: warning: cardtab.ini: line " + std::to_string(line) + ": the same as the 5 lines "
                    "above, as are " + std::to_string(count - 6) + " more lines after it; only the first 5 of a "
                    "kind are said";
    }
    return messages;
}

struct ConfigCase {
    std::string name;
    std::string configuration;
    Loaded expected;
};

std::vector<ConfigCase> config_cases()
{
    const std::string a1999(1999, 'A');
    const std::string long_title(120, 't');
    const std::string name95(95, 'n');
    return {
        {"card file name keeps its case", "Contacts.vcf\n", {true, "Contacts", "*", ',', "", ""}},
        {"table file name", "D:\\out\\list.CSV\n", {true, "import", "D:\\\\out\\\\list", ',', "", ""}},
        {"kind 1 is tested first", "x.vcf=FN\n",
         {true, "x", "*", ',', "",
          "cardtab: warning: cardtab.ini: line 1: '=FN' after the card file's name is ignored; only the word "
          "'decode', after a space, may stand there"}},
        {"vcf before csv", "a.csv.vcf\n", {true, "a.csv", "*", ',', "", ""}},
        {"text after the extension is ignored", "People.VcF backup\n",
         {true, "People", "*", ',', "",
          "cardtab: warning: cardtab.ini: line 1: 'backup' after the card file's name is ignored; only the word "
          "'decode', after a space, may stand there"}},
        {"decode after the card file's name", "people.vcf decode\n", {true, "people", "*", ',', "", "", true}},
        {"decode in any case, after a tab, before blanks", "people.vcf\tDeCoDe \t\r\r\n;",
         {true, "people", "*", ';', "", "", true}},
        {"decode on a last line", "people.vcf  decode", {true, "people", "*", ',', "", "", true}},
        {"a later card file line turns decoding off", "people.vcf decode\nfriends.vcf\n",
         {true, "friends", "*", ',', "", ""}},
        {"decode needs a space before it", "people.vcfdecode\n",
         {true, "people", "*", ',', "",
          "cardtab: warning: cardtab.ini: line 1: 'decode' after the card file's name is ignored; only the word "
          "'decode', after a space, may stand there"}},
        {"decode alone", "people.vcf decode all\n",
         {true, "people", "*", ',', "",
          "cardtab: warning: cardtab.ini: line 1: 'decode all' after the card file's name is ignored; only the "
          "word 'decode', after a space, may stand there"}},
        {"the table's set after its name", "out.csv UTF8\r\n",
         {true, "import", "out", ',', "", "", false, TableCharset::utf8}},
        {"accents after a tab, on a last line", "*.Csv\taccents ",
         {true, "import", "*", ',', "", "", false, TableCharset::windows_1250}},
        {"another word after the table's name", "*.csv utf-8\n",
         {true, "import", "*", ',', "",
          "cardtab: warning: cardtab.ini: line 1: 'utf-8' after the table file's name is ignored; only the word "
          "'utf8' or 'accents', after a space, may stand there"}},
        {"separator on a last line", "Name=FN\n;", {true, "import", "*", ';', "Name=FN", ""}},
        {"separator line with a line feed is a column", ";\n",
         {true, "import", "*", ',', ";=;",
          "cardtab: warning: cardtab.ini: line 1: ';' became a column; only a last line without a line feed "
          "sets the separator"}},
        {"equals sign as separator", "=", {true, "import", "*", '=', "", ""}},
        {"equals line with a line feed", "Name=FN\n=\n",
         {true, "import", "*", ',', "Name=FN|=",
          "cardtab: warning: cardtab.ini: line 2: '=' became a column; only a last line without a line feed "
          "sets the separator"}},
        {"a separator line past the 50th column warns of the columns only", column_lines(50) + ";\n",
         {true, "import", "*", ',', repeated_columns(50),
          "cardtab: warning: cardtab.ini: line 51: more than 50 columns; 1 column line ignored"}},
        {"neighbours in the set", "()", {true, "import", "*", '(', "", ""}},
        {"named column", "Name=FN\n", {true, "import", "*", ',', "Name=FN", ""}},
        {"title untrimmed, tag keeps its leading space", "Name = FN\n", {true, "import", "*", ',', "Name = FN", ""}},
        {"bare column is upper-cased", "tel;cell\n", {true, "import", "*", ',', "TEL;CELL=TEL;CELL", ""}},
        {"named column keeps its case", "Mail=email\nemail\n",
         {true, "import", "*", ',', "Mail=email|EMAIL=EMAIL", ""}},
        {"empty base names", ".csv\n.vcf\n", {true, "", "", ',', "", ""}},
        {"tag cut to 20 bytes", "Phone=TEL;TYPE=CELL;VOICE;PREF \n",
         {true, "import", "*", ',', "Phone=TEL;TYPE=CELL;VOICE;",
          "cardtab: warning: cardtab.ini: line 1: the tag 'TEL;TYPE=CELL;VOICE;' of the column 'Phone' is cut at "
          "20 bytes; 'PREF' after it is left out"}},
        {"a tag of 20 bytes and blanks is not cut", "Phone=TEL;TYPE=CELL;VOICE; \t\r\n",
         {true, "import", "*", ',', "Phone=TEL;TYPE=CELL;VOICE;", ""}},
        {"empty and blank lines are empty columns", "\n   \n", {true, "import", "*", ',', "=|=", ""}},
        {"no comments", "# note\n", {true, "import", "*", ',', "# NOTE=# NOTE", ""}},
        {"search misses .VCF after a partial match", "list.v.vcf\n",
         {true, "import", "*", ',', "LIST.V.VCF=LIST.V.VCF", ""}},
        {"search goes on after .VCA", "my.vcards.vcf\n", {true, "my.vcards", "*", ',', "", ""}},
        {"byte-order mark stays in the name", "\xEF\xBB\xBFpeople.vcf\n",
         {true, "\\xEF\\xBB\\xBFpeople", "*", ',', "",
          "cardtab: warning: cardtab.ini: line 1: begins with a UTF-8 byte order mark, which becomes part of "
          "'\xEF\xBB\xBFpeople.vcf'; save the file as UTF-8 without a byte order mark"}},
        {"CR LF lines", "Name=FN\r\nx.vcf\r\n;", {true, "x", "*", ';', "Name=FN", ""}},
        {"zero byte ends the line", std::string("Name=FN\0junk\nx.vcf\n", 19),
         {true, "x", "*", ',', "Name=FN", ""}},
        {"0x1A ends the file", "Name=FN\n\x1Ax.vcf\n", {true, "import", "*", ',', "Name=FN", ""}},
        {"long line in pieces", std::string(2000, 'A') + "\n",
         {true, "import", "*", ',', "AAAAAAAAAAAAAAAAAAAA=AAAAAAAAAAAAAAAAAAAA|A=A",
          cut_warnings(1, 1, "AAAAAAAAAAAAAAAAAAAA...")}},
        {"50 columns and a later name", column_lines(50) + "out.csv\n",
         {true, "import", "out", ',', repeated_columns(50), ""}},
        {"60 columns and a later name", column_lines(60) + "out.csv\n;",
         {true, "import", "out", ';', repeated_columns(50),
          "cardtab: warning: cardtab.ini: line 51: more than 50 columns; 10 column lines ignored"}},
        {"51 columns", "x.vcf\n" + column_lines(51),
         {true, "x", "*", ',', repeated_columns(50),
          "cardtab: warning: cardtab.ini: line 52: more than 50 columns; 1 column line ignored"}},
        {"long title shortened", long_title + "=FN\n",
         {true, "import", "*", ',', std::string(99, 't') + "=FN",
          "cardtab: warning: cardtab.ini: line 1: title longer than 99 bytes; shortened to its first 99"}},
        {"a line after a long one is the second", std::string(1999 * 52, 'A') + "\n" + name95 + "n.vcf\n",
         {false, "import", "*", ',', repeated_pieces(50),
          cut_warnings(50, 1, "AAAAAAAAAAAAAAAAAAAA...") +
              "|cardtab: cardtab.ini: line 2: card file name is longer than 95 bytes"}},
        {"a long line is one line, however many pieces", std::string(1999 * 52, 'A') + "\n" + "Name=FN\n",
         {true, "import", "*", ',', repeated_pieces(50),
          cut_warnings(50, 1, "AAAAAAAAAAAAAAAAAAAA...") +
              "|cardtab: warning: cardtab.ini: line 1: more than 50 columns; 4 column lines ignored"}},
        {"95-byte base name fits", name95 + ".vcf\n", {true, name95, "*", ',', "", ""}},
        {"96-byte base name is refused", "Name=FN\n" + name95 + "n.vcf\n",
         {false, "import", "*", ',', "Name=FN",
          "cardtab: cardtab.ini: line 2: card file name is longer than 95 bytes"}},
        {"long table name is refused", a1999.substr(0, 100) + ".csv\nName=FN\n",
         {false, "import", "*", ',', "",
          "cardtab: cardtab.ini: line 1: table file name is longer than 95 bytes"}},
    };
}

TEST(LoadConfiguration, AppliesEachKindOfLine)
{
    for (const ConfigCase& c : config_cases()) {
        const Loaded got = load(c.configuration);
        EXPECT_EQ(got.ok, c.expected.ok) << c.name;
        EXPECT_EQ(got.input, c.expected.input) << c.name;
        EXPECT_EQ(got.output, c.expected.output) << c.name;
        EXPECT_EQ(got.separator, c.expected.separator) << c.name;
        EXPECT_EQ(got.columns, c.expected.columns) << c.name;
        EXPECT_EQ(got.messages, c.expected.messages) << c.name;
        EXPECT_EQ(got.decode, c.expected.decode) << c.name;
        EXPECT_EQ(got.charset, c.expected.charset) << c.name;
    }
}

TEST(LoadConfiguration, MissingFileLeavesTheDefaults)
{
    MemoryFiles files;
    RunSettings settings = default_settings();
    ColumnTable columns;
    RunResult result;
    ConfigurationFindings found;
    EXPECT_EQ(load_configuration(files, settings, columns, found, result), ConfigurationOutcome::missing);
    EXPECT_EQ(view(settings.input_base_name), "import");
    EXPECT_EQ(columns.count, 0u);
    EXPECT_TRUE(result.messages.empty());
}

TEST(LoadConfiguration, UnreadableFileIsAFailure)
{
    MemoryFiles files;
    files.folders[std::string(kConfigurationFileName)] = true;
    RunSettings settings = default_settings();
    ColumnTable columns;
    RunResult result;
    ConfigurationFindings found;
    EXPECT_EQ(load_configuration(files, settings, columns, found, result), ConfigurationOutcome::failed);
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0], "cardtab: cannot read configuration file 'cardtab.ini': Is a directory");
}

} // namespace
} // namespace cardtab
