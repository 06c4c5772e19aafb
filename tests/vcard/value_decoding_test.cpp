#include "vcard/value_decoding.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "config/records.hpp"
#include "support/bytes.hpp"
#include "support/decoding_model.hpp"
#include "vcard/escapes.hpp"

namespace cardtab {
namespace {

using testing::escaped;

// The value decode_value makes of the text after the colon of a line with
// this prefix, the text followed by bytes that mean nothing.
std::string decoded(const std::string& prefix, const std::string& raw, bool version_21, bool cut, bool drop_spaces,
                    TableCharset charset = TableCharset::windows_1250_plain)
{
    const PaddedBuffer padded = testing::padded_copy(raw, '\xC3');
    PaddedBuffer scratch(raw.size());
    std::array<char, kMaxDecodedValueBytes> value{};
    const ValueDecoding how{encoding_of(prefix), version_21, cut, 0, charset};
    const std::size_t length = decode_value(padded.text(0, raw.size()), how, scratch, value, drop_spaces);
    return std::string(value.data(), length);
}

struct DecodingCase {
    std::string name;
    std::string prefix;
    std::string raw;
    std::string value;
    bool version_21 = false;
    bool cut = false;
    bool drop_spaces = false;
    TableCharset charset = TableCharset::windows_1250_plain;
};

const std::string kQuotedPrintable = "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE";
const std::string kGreek = "\xCE\xA0\xCE\xB1\xCF\x80\xCE\xB1\xCE\xB8\xCE\xB1\xCE\xBD\xCE\xB1\xCF\x83\xCE\xAF\xCE\xBF\xCF\x85";
const std::string kCzech = "Dvo\xC5\x99\xC3\xA1kov\xC3\xA1";

std::vector<DecodingCase> decoding_cases()
{
    return {
        {"plain ASCII", "N", "Doe;John;;;", "Doe John"},
        {"UTF-8 letters fold and lose their accents", "N", "Dvo\xC5\x99\xC3\xA1k;Ji\xC5\x99\xC3\xAD", "Dvorak Jiri"},
        {"a letter without a plain one stays Windows-1250", "ADR", "\xC4\xBD" "udov\xC3\xA1 7", "\xBCudova 7"},
        {"a character of the range Windows-1250 lacks", "N", "Cr\xC3\xA8me", "Cr?me"},
        {"punctuation Windows-1250 has", "NOTE", "5 \xE2\x82\xAC \xE2\x80\x93 \xE2\x80\x9Eok\xE2\x80\x9C",
         "5 \x80 \x96 \x84ok\x93"},
        {"a character Windows-1250 lacks", "NOTE", "\xE4\xB8\xAD \xF0\x9F\x98\x80!", "? ?!"},
        {"quoted-printable", kQuotedPrintable, "=4E=6F=76=C3=A1=6B;=4A=61=6E;;;", "Novak Jan"},
        {"hex digits in either case", kQuotedPrintable, "=c3=a1=C3=A9", "ae"},
        {"an '=' without two hex digits stays", kQuotedPrintable, "=4 =G1 a=", "=4 =G1 a="},
        {"nothing else is decoded in quoted-printable", kQuotedPrintable, "a\\;b\\n", "a\\;b\\n"},
        {"a quoted-printable line break is a space", kQuotedPrintable, "a=0D=0Ab=0Ac=0Dd", "a b c d"},
        {"a zero byte is no character", kQuotedPrintable, "a=00b", "a?b"},
        {"QUOTED-PRINTABLE alone, in any case", "NOTE;quoted-printable", "=41", "A"},
        {"vCard 2.1 knows only \\;", "ORG", "a\\;b\\,c\\nd\\\\e", "a;b\\,c\\nd\\\\e", true},
        {"vCard 3.0 escapes", "ORG", "Foo\\, s.r.o.\\;Obchod \\\\ x\\:y", "Foo, s.r.o.;Obchod \\ x:y"},
        {"\\n and \\N are line breaks", "NOTE", "one\\ntwo\\Nthree", "one two three"},
        {"escapes read from left to right", "NOTE", "\\\\n \\\\\\n", "\\n \\"},
        {"other backslashes stay", "NOTE", "a\\qb c:\\ \\", "a\\qb c:\\ \\"},
        {"a CR in the value is a space", "NOTE", "a\rb\r\n", "a b"},
        {"CHARSET=windows-1250", "N;CHARSET=windows-1250", "Dvo\xF8\xE1k;\x8Akoda", "Dvorak Skoda"},
        {"CHARSET=CP1250 undefined byte", "N;CHARSET=CP1250", "a\x81" "b", "a?b"},
        {"CHARSET=ISO-8859-2", "N;LANGUAGE=cs;CHARSET=ISO-8859-2", "\xA9koda \xB5\xA3", "Skoda l\xA3"},
        {"CHARSET=ISO-8859-1", "N;CHARSET=iso-8859-1", "Mu\xF1oz \xE9", "Mu?oz e"},
        {"CHARSET=windows-1252", "NOTE;CHARSET=Windows-1252", "\x80 \x81 \x8A \xA3 \x83", "\x80 ? S ? ?"},
        {"CHARSET=UTF-8 marks each broken byte", "N;CHARSET=UTF-8;TYPE=x", "a\xC3(b \xED\xA0\x80 \xC0\xAF",
         "a?(b ??? ??"},
        {"no charset and valid UTF-8", "N", "\xC5\xA0koda", "Skoda"},
        {"no charset and not UTF-8: Windows-1250", "N", "\x8Akoda \xE8", "Skoda c"},
        {"an unknown charset is no charset", "N;CHARSET=klingon", "\x8Akoda", "Skoda"},
        {"spaces dropped for a # column", "TEL", "+420 123\\,456", "+420123,456", false, false, true},
        {"the first 4,096 bytes", "NOTE", std::string(4095, 'a') + "\xC3\xA1" + "bc", std::string(4095, 'a') + "a"},
        {"a cut value with no whole UTF-8 character is Windows-1250", "NOTE", "ab\xC3", "ab\xC3", false, true},
        {"UTF-8 but for a last character begun: it is dropped", "NOTE", "\xC5\xA0koda \xE2\x82", "Skoda"},
        {"a last byte that begins no character is no half", "NOTE", "\xC5\xA0koda \xED\xA0", "L\xA0koda i\xA0"},
        {"named UTF-8 drops a last character begun", "NOTE;CHARSET=UTF-8", "ab\xC3", "ab"},
        {"a Windows-1250 name ending in a lead byte stays", "N", "Jana Nov\xE1", "Jana Nova"},
        {"a quoted charset name is read", "N;CHARSET=\"ISO-8859-2\"", "\xA9koda", "Skoda"},
        {"US-ASCII is no set", "N;CHARSET=US-ASCII", "\xC5\xA0koda", "Skoda"},
        {"the first value of the first CHARSET", "N;CHARSET=windows-1250,utf-8;CHARSET=utf-8", "\x8Akoda", "Skoda"},
        {"control characters are '?'", "NOTE", "a\x01" "b\x1B[0m\x7F\tc", "a?b?[0m?\tc"},
        {"encoded control characters too", kQuotedPrintable, "a=01b=7F", "a?b?"},
        {"a cut line keeps a backslash escaped by another", "NOTE", "x\\\\", "x\\", false, true},
        {"but loses the third", "NOTE", "x\\\\\\", "x\\", false, true},
        {"vCard 2.1 loses any last backslash of a cut line", "NOTE", "x\\\\", "x\\", true, true},
        {"a cut line loses '=' and one hex digit", kQuotedPrintable, "x=A", "x", false, true},
        {"'==' loses its last '='", kQuotedPrintable, "x==", "x=", false, true},
        {"'=G' stays", kQuotedPrintable, "x=G", "x=G", false, true},
        {"a cut line loses half an escape", kQuotedPrintable, "x=C3=A", "x", false, true},
        {"a cut line loses a lone backslash", "NOTE", "x\\", "x", false, true},
        // Greek, Cyrillic, Czech and Japanese in each of the table's sets.
        {"Greek in no set", "N", kGreek, "????????????"},
        {"Greek in accents", "N", kGreek, "????????????", false, false, false, TableCharset::windows_1250},
        {"Greek in UTF-8", "N", kGreek, kGreek, false, false, false, TableCharset::utf8},
        {"Cyrillic in accents", "FN", "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", "????", false, false, false,
         TableCharset::windows_1250},
        {"Cyrillic in UTF-8", "FN", "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", false,
         false, false, TableCharset::utf8},
        {"Czech in accents", "N", kCzech, "Dvo\xF8\xE1kov\xE1", false, false, false, TableCharset::windows_1250},
        {"Czech in UTF-8", "N", kCzech, kCzech, false, false, false, TableCharset::utf8},
        {"Japanese in no set", "FN", "\xE5\xB1\xB1\xE7\x94\xB0", "??"},
        {"Japanese in UTF-8", "FN", "\xE5\xB1\xB1\xE7\x94\xB0;x", "\xE5\xB1\xB1\xE7\x94\xB0 x", false, false, false,
         TableCharset::utf8},
        {"a Windows-1250 value in UTF-8", "N;CHARSET=CP1250", "\x8Akoda", "\xC5\xA0koda", false, false, false,
         TableCharset::utf8},
        {"a UTF-8 table's cut keeps whole characters", "NOTE", std::string(4095, 'y') + "\xC5\x99",
         std::string(4095, 'y'), false, false, false, TableCharset::utf8},
        {"where Windows-1250 has room for the letter", "NOTE", std::string(4095, 'y') + "\xC5\x99",
         std::string(4095, 'y') + "\xF8", false, false, false, TableCharset::windows_1250},
        {"an escaped semicolon under 2.1 quoted-printable", kQuotedPrintable, "Ulice 1\\; patro=3B2", "Ulice 1; patro 2",
         true},
    };
}

TEST(DecodeValue, ReadsEachEncodingAsVCardWritesIt)
{
    for (const DecodingCase& c : decoding_cases()) {
        EXPECT_EQ(escaped(decoded(c.prefix, c.raw, c.version_21, c.cut, c.drop_spaces, c.charset)), escaped(c.value))
            << c.name;
        const testing::ModelLogicalLine line{c.prefix + ":" + c.raw, c.cut};
        EXPECT_EQ(escaped(testing::model_decoded_value(line, c.version_21, c.drop_spaces, 0, c.charset)),
                  escaped(c.value))
            << c.name << ": the model agrees";
    }
}

// Each escape once, from the one list that decoding undoes and a run
// without decoding warns of.
TEST(DecodeValue, UndoesEachEscapeThatARunWithoutDecodingWarnsOf)
{
    const struct {
        std::string raw;
        bool version_21;
        std::string value; // the raw text itself where it holds no escape
    } cases[] = {
        {"a\\\\b", false, "a\\b"}, {"a\\,b", false, "a,b"},  {"a\\;b", false, "a;b"},
        {"a\\:b", false, "a:b"},   {"a\\nb", false, "a b"},  {"a\\Nb", false, "a b"},
        {"a\\;b", true, "a;b"},    {"a\\,b", true, "a\\,b"}, {"a\\:b", true, "a\\:b"},
        {"a\\tb", false, "a\\tb"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(escaped(decoded("NOTE", c.raw, c.version_21, false, false)), escaped(c.value)) << escaped(c.raw);
        EXPECT_EQ(escaped_byte(c.raw[2], c.version_21) != '\0', c.value != c.raw) << escaped(c.raw);
    }
}

} // namespace
} // namespace cardtab
