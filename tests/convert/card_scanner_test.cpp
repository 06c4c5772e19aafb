#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bytes.hpp"
#include "support/scratch.hpp"

namespace {

using cardtab::testing::escaped;
using cardtab::testing::ScratchFolder;

// A whole conversion by the real program: cardtab.ini and import.vcf in,
// the exact bytes of import.csv out.
struct ConversionCase {
    std::string name;
    std::string configuration;
    std::string cards;
    std::string table;
};

std::string card(const std::string& lines)
{
    return "BEGIN:VCARD\n" + lines + "END:VCARD\n";
}

std::vector<ConversionCase> conversion_cases()
{
    const std::string long_value(150, 'v');
    const std::string note_piece = "NOTE:" + std::string(1994, 'x');
    return {
        {"the road of one card", "Name=N:\n#Phone=TEL\n", card("N:Nov\xC3\xA1k;Jan;;;\nTEL;TYPE=CELL:+420 123 456\n"),
         "Name,#Phone\r\n\"Novak Jan\",\"+420123456\"\r\n"},
        {"empty address components", "Address=ADR\n", card("ADR;TYPE=HOME:;;Main St 1;;Prague;;\n"),
         "Address\r\n\"  Main St 1  Prague\"\r\n"},
        {"a loose tag is overwritten by a later line", "Name=N\n", card("N:Doe;John\nNOTE:call back\n"),
         "Name\r\n\"call back\"\r\n"},
        {"colon searched from the second byte", ":\n", card(":a:b\n"), ":\r\n\"b\"\r\n"},
        {"line without colon", "Phone=TEL\n", card("TEL\n"), "Phone\r\n\"\"\r\n"},
        {"value cut to 100 bytes", "Note=NOTE\n", card("NOTE:" + long_value + "\n"),
         "Note\r\n\"" + long_value.substr(0, 100) + "\"\r\n"},
        {"cut before trimming", "Note=NOTE\n", card("NOTE:" + std::string(99, 'n') + "  tail\n"),
         "Note\r\n\"" + std::string(99, 'n') + "\"\r\n"},
        {"required column emptied by semicolons", "N*Name=N:\nMail=EMAIL\n", card("N:;;;\nEMAIL:a@b\n"),
         "Name,Mail\r\n"},
        {"two END lines, and one without BEGIN", "Name=N:\n", card("N:Doe\nEND:X\n") + "END:VCARD\n",
         "Name\r\n\"Doe\"\r\n\"Doe\"\r\n\"Doe\"\r\n"},
        {"card bounds are case-sensitive and at the start", "Name=N:\n",
         card("N:Doe\n") + "begin:vcard\n END:VCARD\nEND:VCARD\n", "Name\r\n\"Doe\"\r\n\"Doe\"\r\n"},
        {"a tag END", "End=END\n", card(""), "End\r\n\"VCARD\"\r\n"},
        {"a tag BEGIN", "Begin=BEGIN\n", card("") + card(""), "Begin\r\n\"VCARD\"\r\n\"VCARD\"\r\n"},
        {"byte-order mark", "Name=N:\n", "\xEF\xBB\xBF" + card("N:Doe\n"), "Name\r\n\"Doe\"\r\n"},
        {"zero byte ends the line", "Name=N:\n",
         "BEGIN:VCARD\n" + std::string("N:Doe\0junk\n", 11) + "END:VCARD\n", "Name\r\n\"Doe\"\r\n"},
        {"required constant column", "Ident*Kind=TEL\nName=N:\n", card("N:NoPhone\n") + card("N:Doe\nTEL:1\n"),
         "Kind,Name\r\n\"TEL\",\"Doe\"\r\n"},
        {"constant value survives a card without BEGIN", "Ident*Kind=TEL\n",
         card("TEL:1\n") + "N:x\nEND:VCARD\n", "Kind\r\n\"TEL\"\r\n\"TEL\"\r\n"},
        {"nested card", "Name=N:\nMail=EMAIL\n",
         "BEGIN:VCARD\nEMAIL:outer@x\n" + card("N:Inner\n") + "N:Outer\nEND:VCARD\n",
         "Name,Mail\r\n\"Inner\",\"\"\r\n\"Outer\",\"\"\r\n"},
        {"a tag in UTF-8 does not match the folded line", "X=\xC3\x81\n", card("\xC3\x81:a\n"),
         "X\r\n\"\"\r\n"},
        {"a tag in Windows-1250 does", "X=\xC1\n", card("\xC3\x81:a\n"), "X\r\n\"a\"\r\n"},
        {"a 1,999-byte piece cut before a tag", "Phone=TEL\n", card(note_piece + "TEL:999\n"),
         "Phone\r\n\"999\"\r\n"},
        {"CR LF and 0x1A", "Name=N:\n", "BEGIN:VCARD\r\nN:Doe\r\nEND:VCARD\r\n\x1A" + card("N:Ghost\n"),
         "Name\r\n\"Doe\"\r\n"},
        {"no configuration", "", card("N:x\n") + card(""), "\r\n\r\n\r\n"},
        {"a stray lead byte keeps what follows", "Name=N:\n", card("N:\xC4pfel;x\n"),
         "Name\r\n\"\xC4pfel x\"\r\n"},
        {"one line feeds several columns", "A=TEL\nB=TEL;CELL\nC=TEL;WORK\n", card("TEL;CELL:1\n"),
         "A,B,C\r\n\"1\",\"1\",\"\"\r\n"},
        {"escapes are not decoded", "Note=NOTE\n", card("NOTE:a\\;b\\nc\n"), "Note\r\n\"a\\ b\\nc\"\r\n"},
        {"continuation lines are lines", "Note=NOTE\n", card("NOTE:first\n second\n"),
         "Note\r\n\"first\"\r\n"},
        {"an empty tag matches an empty line", "=\nName=N:\n", card("N:x\n\n"), ",Name\r\n\"\",\"x\"\r\n"},
        {"quotes in a value are doubled", "Name=N:\n", card("N:\"Bob\" Smith\n"),
         "Name\r\n\"\"\"Bob\"\" Smith\"\r\n"},
    };
}

TEST(Conversion, WritesTheExactTable)
{
    for (const ConversionCase& c : conversion_cases()) {
        ScratchFolder folder;
        if (!c.configuration.empty()) {
            folder.write("cardtab.ini", c.configuration);
        }
        folder.write("import.vcf", c.cards);
        const cardtab::testing::ProgramRun run = cardtab::testing::run_cardtab(folder.path());
        EXPECT_EQ(run.exit_status, 0) << c.name;
        EXPECT_EQ(run.error_output, "") << c.name;
        EXPECT_EQ(escaped(folder.read("import.csv")), escaped(c.table)) << c.name;
        EXPECT_EQ(folder.read("import.vcf"), c.cards) << c.name << ": the card file is never written";
    }
}

TEST(Conversion, FollowsTheConfiguredNames)
{
    ScratchFolder folder;
    folder.write("cardtab.ini", "people.vcf\nName=N:\n#Phone=TEL\n");
    folder.write("people.vcf", card("N:Nov\xC3\xA1k;Jan;;;\nTEL;TYPE=CELL:+420 123 456\n"));
    const cardtab::testing::ProgramRun run = cardtab::testing::run_cardtab(folder.path());
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(escaped(folder.read("people.csv")), escaped("Name,#Phone\r\n\"Novak Jan\",\"+420123456\"\r\n"));
}

} // namespace
