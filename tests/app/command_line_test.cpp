#include "app/command_line.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace cardtab {
namespace {

#ifdef _WIN32
constexpr Request kWindowsHelp = Request::help;
#else
constexpr Request kWindowsHelp = Request::convert;
#endif

TEST(CommandLine, ReadsOptionsAndNamesInAnyOrder)
{
    const struct {
        std::vector<std::string> arguments;
        Request request;
        bool decode = false;
        std::vector<std::string> cards = {};
        std::string table = {};
        std::string refusal = {};
        std::optional<TableCharset> charset = std::nullopt;
        bool outlook = false;
    } cases[] = {
        {{}, Request::convert},
        {{"--help"}, Request::help},
        {{"-h"}, Request::help},
        {{"--version"}, Request::version},
        {{"a.vcf", "--help"}, Request::help},
        {{"--version", "-h"}, Request::help},
        {{"--bogus", "x", "y", "z", "--version"}, Request::version},
        {{"--", "--help"}, Request::convert, false, {"--help"}},
        {{"/?"}, kWindowsHelp, false, kWindowsHelp == Request::help ? std::vector<std::string>{} : std::vector<std::string>{"/?"}},
        {{"--decode"}, Request::convert, true},
        {{"a.vcf", "--decode"}, Request::convert, true, {"a.vcf"}},
        {{"--tags", "a.vcf"}, Request::list_tags, false, {"a.vcf"}},
        {{"a.vcf", "t.CSV", "--tags", "--decode"}, Request::list_tags, true, {"a.vcf"}, "t.CSV"},
        {{"a.vcf", "-"}, Request::convert, false, {"a.vcf"}, "-"},
        {{"--", "-odd.vcf", "--x.csv"}, Request::convert, false, {"-odd.vcf"}, "--x.csv"},
        {{"--decpde"}, Request::refused, false, {}, "", "unknown option '--decpde' (see 'cardtab --help')"},
        {{"-H"}, Request::refused, false, {}, "", "unknown option '-H' (see 'cardtab --help')"},
        {{"a.vcf", "--"}, Request::convert, false, {"a.vcf"}},
        {{"-"}, Request::refused, false, {}, "",
         "'-' cannot name the card file: the cards are read from a file (see 'cardtab --help')"},
        {{"a.vcf", "-", "t.csv"}, Request::refused, false, {}, "",
         "'-' cannot name the card file: the cards are read from a file (see 'cardtab --help')"},
        {{"a.vcf", "work", "B.VCF"}, Request::convert, false, {"a.vcf", "work", "B.VCF"}},
        {{"a.vcf", "b.csv", "c.csv"}, Request::convert, false, {"a.vcf", "b.csv"}, "c.csv"},
        {{"t.csv"}, Request::convert, false, {"t.csv"}},
        {{"--utf8", "a.vcf", "--utf8"}, Request::convert, false, {"a.vcf"}, "", "", TableCharset::utf8},
        {{"--accents", "--outlook"}, Request::convert, false, {}, "", "", TableCharset::windows_1250, true},
        {{"--utf8", "--accents"}, Request::refused, false, {}, "",
         "--utf8 and --accents ask for two character sets; give one (see 'cardtab --help')", TableCharset::utf8},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& argument : c.arguments) {
            shown += argument + " ";
        }
        RunOptions options;
        std::string refusal;
        EXPECT_EQ(read_command_line(c.arguments, options, refusal), c.request) << shown;
        EXPECT_EQ(options.decode, c.decode) << shown;
        EXPECT_EQ(options.cards, c.cards) << shown;
        EXPECT_EQ(options.table, c.table) << shown;
        EXPECT_EQ(refusal, c.refusal) << shown;
        EXPECT_EQ(options.charset, c.charset) << shown;
        EXPECT_EQ(options.outlook, c.outlook) << shown;
    }
}

} // namespace
} // namespace cardtab
