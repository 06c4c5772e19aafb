#include "vcard/tag_listing.hpp"

#include <gtest/gtest.h>

#include <string>

#include "convert/run.hpp"
#include "support/bytes.hpp"
#include "support/memory_files.hpp"

namespace cardtab {
namespace {

using testing::MemoryFiles;

std::string listed(std::string_view cards, bool decode)
{
    MemoryFiles files;
    files.files["import.vcf"] = std::string(cards);
    files.read_limit = 7;
    const TagListing listing = list_tags(files, testing::naming({}, {}, decode));
    EXPECT_FALSE(listing.result.failed);
    std::string lines;
    for (const std::string& line : listing.lines) {
        lines += line + "\n";
    }
    return lines;
}

TEST(TagListing, CountsEachTagOncePerCard)
{
    const std::string long_line = "NOTE:" + std::string(1994, 'x') + "X-PIECE:y\n";
    const struct {
        std::string name;
        std::string cards;
        std::string as_they_stand;
        std::string decoded;
    } cases[] = {
        {"outside cards, bounds, version, unended cards",
         "N:out\nBEGIN:VCARD\nVERSION:2.1\nN:a\nN:b\nBEGIN:VCALENDAR\nEND:VCARD\nTEL:1\n"
         "BEGIN:VCARD\nFN:lost\nBEGIN:VCARD\nORG:x\nEND:VCARD\nBEGIN:VCARD\nNOTE:never ended\n",
         "      1  N\n      1  ORG\n", "      1  N\n      1  ORG\n"},
        {"types in any spelling, PREF and repeats left out",
         "BEGIN:VCARD\nTEL;type=CELL;type=VOICE;type=pref:1\nEND:VCARD\nBEGIN:VCARD\nTEL;CELL;VOICE;CELL:2\nEND:VCARD\n"
         "BEGIN:VCARD\nitem1.tel;TYPE=\"voice,Cell\";X-A=b:3\nEND:VCARD\n",
         "      1  TEL;CELL;VOICE;CELL\n      1  TEL;type=CELL;type=VOICE;type=pref\n"
         "      1  item1.tel;TYPE=\"voice,Cell\";X-A=b\n",
         "      3  TEL;CELL;VOICE\n"},
        {"encodings and other parameters are no types",
         "BEGIN:VCARD\nNOTE;QUOTED-PRINTABLE;CHARSET=UTF-8:=41\nPHOTO;ENCODING=b;TYPE=jpeg:AA\nEND:VCARD\n",
         "      1  NOTE;QUOTED-PRINTABLE;CHARSET=UTF-8\n      1  PHOTO;ENCODING=b;TYPE=jpeg\n",
         "      1  NOTE\n      1  PHOTO;JPEG\n"},
        {"no colon, a colon first, a folded line, a later piece",
         "BEGIN:VCARD\nNOCOLON\n:X:y\nNOTE:a\n more:b\n" + long_line + "END:VCARD\n",
         "      1  :X\n      1  NOTE\n", "      1  NOTE\n"},
        {"a byte order mark and lower-case bounds",
         "\xEF\xBB\xBF" "BEGIN:VCARD\nN:a\nend:vcard\nEND:VCARD\nbegin:vcard\nFN:b\nEND:VCARD\n",
         "      1  N\n", "      1  FN\n      1  N\n"},
        {"most cards first, ties in byte order, escaped",
         "BEGIN:VCARD\nb:1\na:1\nX-\x1B\x07:1\nEND:VCARD\nBEGIN:VCARD\nb:2\nEND:VCARD\n",
         "      2  b\n      1  X-\\x1B\\x07\n      1  a\n", "      2  B\n      1  A\n      1  X-\\x1B\\x07\n"},
        {"a tag cut at 100 bytes", "BEGIN:VCARD\n" + std::string(120, 'T') + ":1\nEND:VCARD\n",
         "      1  " + std::string(100, 'T') + "\n", "      1  " + std::string(100, 'T') + "\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(testing::escaped(listed(c.cards, false)), testing::escaped(c.as_they_stand)) << c.name;
        EXPECT_EQ(testing::escaped(listed(c.cards, true)), testing::escaped(c.decoded)) << c.name;
    }
}

TEST(TagListing, KeepsTenThousandTagsAndCountsTheLinesPast)
{
    std::string cards = "BEGIN:VCARD\n";
    for (std::size_t n = 0; n < kMaxListedTags + 3; ++n) {
        cards += "X-" + std::to_string(n) + ":v\n";
    }
    cards += "X-0:again\nX-10002:again\nEND:VCARD\n";
    const std::string listing = listed(cards, false);
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), kMaxListedTags + 1);
    EXPECT_TRUE(listing.ends_with("\n4 lines in cards had tags past the first 10000 distinct ones, which are not "
                                  "listed\n"))
        << listing.substr(listing.size() - 200);
}

TEST(TagListing, NeverWritesIntoAnInputOrAClosedOutput)
{
    const struct {
        std::string standard_output; // none: closed
        std::string message;
    } cases[] = {
        {"import.vcf", "cardtab: refusing to write the tags to standard output: it would overwrite the card file "
                       "'import.vcf'"},
        {"cardtab.ini", "cardtab: refusing to write the tags to standard output: it would overwrite the "
                        "configuration file 'cardtab.ini'"},
        {"", "cardtab: cannot write the tags to standard output: Bad file descriptor"},
    };
    for (const auto& c : cases) {
        MemoryFiles files;
        files.files["import.vcf"] = "BEGIN:VCARD\nN:a\nEND:VCARD\n";
        files.files["cardtab.ini"] = "Name=N\n";
        files.descriptor_files.erase(kStandardOutput);
        if (!c.standard_output.empty()) {
            files.descriptor_files[kStandardOutput] = c.standard_output;
        }
        const TagListing listing = list_tags(files);
        EXPECT_EQ(listing.result.messages, std::vector<std::string>{c.message}) << c.standard_output;
        EXPECT_TRUE(listing.lines.empty()) << c.standard_output;
    }
}

} // namespace
} // namespace cardtab
