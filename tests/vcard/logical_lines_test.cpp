#include "vcard/logical_lines.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bytes.hpp"
#include "support/decoding_model.hpp"
#include "support/memory_files.hpp"

namespace cardtab {
namespace {

using testing::escaped;
using testing::MemoryFiles;

// Every logical line the reader delivers for `bytes`, escaped, with its
// line number and a '+' where it was cut, joined by '|'.
std::string logical_lines_of(std::string_view bytes, std::size_t chunk_bytes)
{
    MemoryFiles files;
    files.files["f"] = std::string(bytes);
    files.read_limit = chunk_bytes;
    LineReader reader;
    EXPECT_TRUE(open_line_reader(reader, files, "f", chunk_bytes).ok);
    std::string joined;
    LogicalLines lines;
    while (read_logical_line(reader, lines)) {
        joined += std::to_string(lines.line_number) + ":" + escaped(lines.text.view()) + (lines.cut ? "+" : "") + "|";
    }
    EXPECT_TRUE(close_line_reader(reader).ok);
    return joined;
}

// The same, as the plain model of the decoding mode makes them.
std::string modelled_logical_lines(std::string_view bytes)
{
    std::string joined;
    for (const testing::ModelLogicalLine& line : testing::model_logical_lines(bytes)) {
        joined += escaped(line.text) + (line.cut ? "+" : "") + "|";
    }
    return joined;
}

struct LogicalCase {
    std::string name;
    std::string bytes;
    std::string lines; // number:text, '+' when cut, each followed by '|'
};

std::vector<LogicalCase> logical_cases()
{
    const std::string x5000(5000, 'x');
    const std::string x4091(kMaxLogicalLineBytes - 5, 'x');
    const std::string qp = "N;ENCODING=QUOTED-PRINTABLE:";
    return {
        {"empty file", "", ""},
        {"a folded line is joined", "NOTE:ab\r\n cd\r\nX:1\r\n", "1:NOTE:abcd|3:X:1|"},
        {"a tab folds too, and only one blank goes", "A:1\n\t2\n  3\n", "1:A:12 3|"},
        {"a soft break joins the next line as it stands", qp + "=C3=\n=A1=\n b\n", "1:" + qp + "=C3=A1 b|"},
        {"blanks after the soft break go with it", qp + "a= \t\r\nb\n", "1:" + qp + "ab|"},
        {"a '=' with no colon before it breaks nothing", "N;QUOTED-PRINTABLE=\nX:1\n",
         "1:N;QUOTED-PRINTABLE=|2:X:1|"},
        {"a '=' before the colon breaks nothing", "N;QUOTED-PRINTABLE=:\nX:1\n",
         "1:N;QUOTED-PRINTABLE=:|2:X:1|"},
        {"a '=' on a line that is not quoted-printable", "NOTE:a=\nX:1\n", "1:NOTE:a=|2:X:1|"},
        {"a soft break on the last line", qp + "a=", "1:" + qp + "a=|"},
        {"the first line may begin with a space", " N:x\n y\n", "1: N:xy|"},
        {"empty lines are lines", "\n\nX:1", "1:|2:|3:X:1|"},
        {"the CRs of CR CR LF belong to the line end", "NOTE:ab\r\r\n cd\r\r\n", "1:NOTE:abcd\\r|"},
        {"a lone CR inside a line stays", "A:a\rb\n c\n", "1:A:a\\rbc|"},
        {"a zero byte ends the text of its line", std::string("N:a\0junk\n b\0c\nX:1\n", 18),
         "1:N:ab|3:X:1|"},
        {"0x1A ends the file mid-line", "N:a\n b\x1A c\n", "1:N:ab|"},
        {"0x1A at the start of a line ends the file", "N:a\n\x1A b\n", "1:N:a|"},
        {"0x1A after a soft break ends the file", "N;QUOTED-PRINTABLE:a=\n\x1A" "b\n", "1:N;QUOTED-PRINTABLE:a=|"},
        {"4,096 bytes fit", "NOTE:" + x4091 + "\nX:1\n", "1:NOTE:" + x4091 + "|2:X:1|"},
        {"the rest of a long line is read past", "NOTE:" + x5000 + "\n y\nX:1\n",
         "1:NOTE:" + x4091 + "+|3:X:1|"},
        {"a soft break past the kept bytes still joins", qp + x5000 + "=\nTEL:1\nX:2\n",
         "1:" + (qp + x5000).substr(0, kMaxLogicalLineBytes) + "+|3:X:2|"},
        {"a fold that brings a cut line back under the limit", "NOTE:" + x4091 + std::string(10, '\r') +
         "\r\n z\n", "1:NOTE:" + x4091 + "+|"},
    };
}

TEST(LogicalLines, TellWhereA0x1AStoppedTheFileAndHowMuchWasLeft)
{
    const struct {
        std::string bytes;
        std::size_t line;
        std::uint64_t left;
    } cases[] = {
        {"A:1\n b\nC\x1Axyz", 3, 3},
        {"A:1\n b\n\x1A" + std::string(5000, 'x'), 3, 5000},
        {"A:1\n b=\n\x1A\n", 3, 0},
        {"A:1\n\x1A\r\n\x1A" + std::string(5000, '\n') + "x\r\n", 2, 1},
        {"A:1\n\x1A", 2, 0},
    };
    for (const auto& c : cases) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, kReadChunkBytes}) {
            MemoryFiles files;
            files.files["f"] = c.bytes;
            LineReader reader;
            ASSERT_TRUE(open_line_reader(reader, files, "f", chunk).ok);
            LogicalLines lines;
            while (read_logical_line(reader, lines)) {
            }
            EXPECT_TRUE(reader.stopped_at_eof_byte) << escaped(c.bytes);
            EXPECT_EQ(reader.eof_byte_line, c.line) << escaped(c.bytes) << ", chunk " << chunk;
            EXPECT_EQ(count_bytes_after_eof_byte(reader), c.left) << escaped(c.bytes) << ", chunk " << chunk;
            EXPECT_TRUE(close_line_reader(reader).ok);
        }
    }
}

TEST(LogicalLines, AreJoinedWhateverTheChunkSize)
{
    for (const LogicalCase& c : logical_cases()) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                                        std::size_t{64}, std::size_t{4096}, kReadChunkBytes}) {
            EXPECT_EQ(logical_lines_of(c.bytes, chunk), c.lines) << c.name << ", chunk " << chunk;
        }
        std::string without_numbers;
        for (std::size_t at = 0; at < c.lines.size();) {
            const std::size_t colon = c.lines.find(':', at);
            const std::size_t bar = c.lines.find('|', colon);
            without_numbers += c.lines.substr(colon + 1, bar - colon);
            at = bar + 1;
        }
        EXPECT_EQ(modelled_logical_lines(c.bytes), without_numbers) << c.name << ": the model agrees";
    }
}

} // namespace
} // namespace cardtab
