#include "app/command_line.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <cstdio>
#include <optional>
#include <vector>

#include "config/records.hpp"
#include "io/console.hpp"
#include "result/run_result.hpp"
#include "text/printable.hpp"
#include "text/text.hpp"

namespace cardtab {

namespace {

constexpr std::string_view kUsage =
    "Usage: cardtab [--decode] [--tags] [--accents|--utf8] [--outlook]\n"
    "               [CARDS...] [TABLE]\n"
    "       cardtab --help | --version\n"
    "\n"
    "Turns a file of vCards into a CSV table. An old table is replaced only by\n"
    "a complete new one.\n"
    "\n"
    "  CARDS      card files and folders, as named: cardtab Contacts.vcf\n"
    "             writes Contacts.csv beside the card file. A folder stands\n"
    "             for the .vcf files directly in it, in order of their names\n"
    "             (cardtab ~/exports writes ~/exports.csv). Several names give\n"
    "             one table, the rows of each file in turn, named after the\n"
    "             first; a file that comes twice is read once. Without CARDS\n"
    "             the card file is import.vcf in the current folder, or the\n"
    "             one cardtab.ini names, and the table import.csv, or the one\n"
    "             cardtab.ini names.\n"
    "  TABLE      the table file, after at least one card file: a last name\n"
    "             that ends in .csv, or - for standard output.\n"
    "  --decode   read the card file as vCard, as phones and mail programs\n"
    "             export it: join folded lines, decode quoted-printable and\n"
    "             backslash escapes, and read each value in its character set.\n"
    "             A column's tag then names a vCard property, [group.]NAME;TYPE[n]:k:\n"
    "             TEL;CELL takes mobile numbers however the types are spelt,\n"
    "             preferred ones first (PREF=1 before PREF=2); TEL;!CELL,FAX a\n"
    "             phone that is neither mobile nor fax; EMAIL[2] the second\n"
    "             e-mail; N:1 the family name, N:2 the given name, ADR:3 the\n"
    "             street, ADR:4 the city, ADR:6 the postal code. A value keeps\n"
    "             up to 4,096 bytes. The word decode after the card file's\n"
    "             name in cardtab.ini (people.vcf decode) does the same.\n"
    "             Without a cardtab.ini the table gets the default columns\n"
    "             (names, phones, e-mails, address, company, job title,\n"
    "             birthday, note), separated by ';', with every letter of\n"
    "             Windows-1250.\n"
    "  --accents  write the table in Windows-1250 with every letter it has\n"
    "             (Czech, Slovak, Polish, Hungarian accents kept): what Excel\n"
    "             reads on a Central European desktop.\n"
    "  --utf8     write the table in UTF-8, every character kept, after a\n"
    "             byte order mark: Google Contacts, Outlook, LibreOffice, and\n"
    "             names in Greek, Cyrillic or Chinese. Without either option\n"
    "             the word accents or utf8 after the table's name in\n"
    "             cardtab.ini (*.csv utf8) chooses; with neither, the table is\n"
    "             Windows-1250 with the accented letters made plain.\n"
    "  --outlook  decode, and write Outlook's CSV columns and headings, in\n"
    "             UTF-8, separated by commas: a table Outlook and Google\n"
    "             Contacts import. cardtab.ini's columns are not used.\n"
    "  --tags     list the tags the cards hold, and in how many cards, instead\n"
    "             of writing a table; paste one into cardtab.ini as Title=TAG.\n"
    "  --         ends the options: cardtab -- -odd.vcf\n"
    "\n"
    "On Windows, files or a folder dropped onto cardtab.exe in Explorer become\n"
    "one table beside the first.\n"
    "\n"
    "cardtab.ini is read from the current folder, or else from the program's\n"
    "own folder. It holds one directive a line: a name with .vcf or .csv names\n"
    "a file, Title=TAG adds a column, and a last line such as ; without a line\n"
    "feed sets the separator.\n"
    "\n"
    "Your own export, step by step:\n"
    "  cardtab --decode contacts.vcf          the default columns\n"
    "  cardtab --outlook contacts.vcf         a table to import into Outlook\n"
    "                                         or Google Contacts\n"
    "  cardtab --decode --tags contacts.vcf   what else the cards hold\n"
    "  then a cardtab.ini of your own, with the columns you want.\n"
    "\n"
    "Exit status: 0 done, 1 failed (the old table is kept), 2 a wrong command\n"
    "line (nothing read or written).\n"
    "\n"
    "More in the manual page (man cardtab), or in README.md beside cardtab.exe.\n";

constexpr std::string_view kSeeHelp = " (see 'cardtab --help')";
constexpr std::string_view kEndOfOptions = "--";

#ifdef _WIN32
constexpr bool kWindowsHabits = true;
#else
constexpr bool kWindowsHabits = false;
#endif

bool asks_for_help(std::string_view argument)
{
    return argument == "--help" || argument == "-h" || (kWindowsHabits && argument == "/?");
}

// The questions are answered whatever else the line holds.
Request question_asked(std::span<const std::string> arguments)
{
    Request asked = Request::convert;
    for (const std::string& argument : arguments) {
        if (argument == kEndOfOptions) {
            break;
        }
        if (asks_for_help(argument)) {
            return Request::help;
        }
        asked = argument == "--version" ? Request::version : asked;
    }
    return asked;
}

std::optional<TableCharset> charset_option(std::string_view argument)
{
    if (argument == "--utf8") {
        return TableCharset::utf8;
    }
    if (argument == "--accents") {
        return TableCharset::windows_1250;
    }
    return std::nullopt;
}

std::string quoted(std::string_view name)
{
    return std::string("'").append(name).append("'");
}

// The last name is the table where it is one, after at least one card
// file: a .csv file, or - for standard output.
bool names_table(const std::vector<std::string_view>& names)
{
    return names.size() >= 2 &&
           (names.back() == kStandardOutputName || ends_in_any_case(names.back(), kTableFileExtension));
}

// Why the names cannot stand, or nothing.
std::string refusal_of_names(std::span<const std::string_view> cards)
{
    if (std::find(cards.begin(), cards.end(), kStandardOutputName) != cards.end()) {
        return "'-' cannot name the card file: the cards are read from a file";
    }
    return {};
}

} // namespace

Request read_command_line(std::span<const std::string> arguments, RunOptions& options, std::string& refusal)
{
    if (const Request asked = question_asked(arguments); asked != Request::convert) {
        return asked;
    }
    Request request = Request::convert;
    std::vector<std::string_view> names;
    bool options_ended = false;
    for (const std::string& argument : arguments) {
        if (options_ended || argument == kStandardOutputName || !argument.starts_with('-')) {
            names.push_back(argument);
        } else if (argument == kEndOfOptions) {
            options_ended = true;
        } else if (argument == "--decode") {
            options.decode = true;
        } else if (argument == "--tags") {
            request = Request::list_tags;
        } else if (argument == "--outlook") {
            options.outlook = true;
        } else if (const auto charset = charset_option(argument)) {
            if (options.charset && *options.charset != *charset) {
                refusal = "--utf8 and --accents ask for two character sets; give one" + std::string(kSeeHelp);
                return Request::refused;
            }
            options.charset = charset;
        } else {
            refusal = "unknown option " + quoted(argument) + std::string(kSeeHelp);
            return Request::refused;
        }
    }
    const bool table_named = names_table(names);
    const std::span<const std::string_view> cards(names.data(), names.size() - (table_named ? 1 : 0));
    if (refusal = refusal_of_names(cards); !refusal.empty()) {
        refusal += kSeeHelp;
        return Request::refused;
    }
    options.cards.assign(cards.begin(), cards.end());
    options.table = table_named ? std::string(names.back()) : std::string();
    return request;
}

int answer(Request request)
{
    if (request == Request::help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
    } else {
        std::fputs("cardtab " CARDTAB_VERSION "\n", stdout);
    }
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return 0;
    }
    const std::string reason = std::strerror(errno);
    write_error_line(std::string(kProgramPrefix)
                         .append("cannot write the ")
                         .append(request == Request::help ? "usage" : "version")
                         .append(" to standard output: ")
                         .append(reason));
    return 1;
}

int refuse(std::string_view refusal)
{
    write_error_line(printable(std::string(kProgramPrefix).append(refusal)));
    return kUsageErrorStatus;
}

} // namespace cardtab
