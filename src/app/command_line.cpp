#include "app/command_line.hpp"

#include <cstdio>
#include <string_view>

namespace cardtab {

namespace {

constexpr std::string_view kUsage =
    "Usage: cardtab [--decode] [--help | --version]\n"
    "\n"
    "Turns a file of vCards into a CSV table. Run it in the folder that holds\n"
    "the cards: it reads cardtab.ini there, if there is one, then the card file\n"
    "(import.vcf, unless cardtab.ini names another), and writes the table\n"
    "(import.csv, unless cardtab.ini names another). An old table is replaced\n"
    "only by a complete new one. Other arguments are ignored.\n"
    "\n"
    "  --decode   read the card file as vCard, as phones and mail programs\n"
    "             export it: join folded lines, decode quoted-printable and\n"
    "             backslash escapes, and read each value in its character set.\n"
    "             A column's tag then names a vCard property, [group.]NAME;TYPE[n]:k:\n"
    "             TEL;CELL takes mobile numbers however the types are spelt,\n"
    "             preferred ones first; EMAIL[2] the second e-mail; N:1 the\n"
    "             family name, N:2 the given name, ADR:3 the street, ADR:4 the\n"
    "             city, ADR:6 the postal code. The word decode after the card\n"
    "             file's name in cardtab.ini (people.vcf decode) does the same.\n"
    "\n"
    "cardtab.ini holds one directive a line: a name with .vcf or .csv names a\n"
    "file, Title=TAG adds a column, and a last line such as ; without a line\n"
    "feed sets the separator.\n"
    "\n"
    "More in the manual page (man cardtab), or in README.md beside cardtab.exe.\n";

} // namespace

Request read_command_line(std::span<const char* const> arguments, RunOptions& options)
{
    Request request = Request::convert;
    for (const std::string_view argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            return Request::help;
        }
        if (argument == "--version") {
            request = Request::version;
        }
        options.decode = options.decode || argument == "--decode";
    }
    return request;
}

int answer(Request request)
{
    if (request == Request::help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
    } else {
        std::fputs("cardtab " CARDTAB_VERSION "\n", stdout);
    }
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
}

} // namespace cardtab
