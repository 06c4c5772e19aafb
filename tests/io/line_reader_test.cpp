#include "io/line_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bytes.hpp"
#include "support/memory_files.hpp"

namespace cardtab {
namespace {

using testing::escaped;
using testing::MemoryFiles;

std::string repeat(char c, std::size_t n)
{
    return std::string(n, c);
}

// Every text the reader delivers for `bytes`, escaped and joined by '|'.
std::string pieces_of(std::string_view bytes, std::size_t chunk_bytes, std::size_t read_limit)
{
    MemoryFiles files;
    files.files["f"] = std::string(bytes);
    files.read_limit = read_limit;
    LineReader reader;
    EXPECT_TRUE(open_line_reader(reader, files, "f", chunk_bytes).ok);
    std::string joined;
    while (read_piece(reader)) {
        joined += escaped(current_text(reader)) + "|";
    }
    EXPECT_TRUE(close_line_reader(reader).ok);
    return joined;
}

struct ReaderCase {
    std::string name;
    std::string bytes;
    std::vector<std::string> texts;
};

std::vector<ReaderCase> reader_cases()
{
    const std::string s1998 = repeat('a', 1998);
    const std::string s1999 = repeat('b', 1999);
    const std::string s2000 = repeat('c', 2000);
    return {
        {"empty file", "", {}},
        {"last line without line feed", "a\nb", {"a\n", "b"}},
        {"1,998 bytes and LF fit", s1998 + "\n", {s1998 + "\n"}},
        {"1,999 bytes leave the LF alone", s1999 + "\n", {s1999, "\n"}},
        {"2,000 bytes split", s2000 + "\n", {s2000.substr(0, 1999), "c\n"}},
        {"CR LF counts as one byte", s1998 + "\r\n", {s1998 + "\n"}},
        {"1,999 bytes and CR LF", s1999 + "\r\nz\r\n", {s1999, "\n", "z\n"}},
        {"zero byte in the next line", std::string("ab\r\n\0c\nd\n", 9), {"ab\n", "", "d\n"}},
        {"CR at the piece end", s1998 + "\rx", {s1998 + "\r", "x"}},
        {"CR LF becomes LF", "a\r\nb\r\n", {"a\n", "b\n"}},
        {"CR CR LF", "\r\r\n", {"\r\n"}},
        {"lone CR passes", "a\rb\n", {"a\rb\n"}},
        {"CR at the end of the file", "a\r", {"a\r"}},
        {"0x1A mid-line ends the file", "x\nab\x1A" "cd\n", {"x\n", "ab"}},
        {"0x1A first", "\x1A" "abc\n", {}},
        {"CR then 0x1A", "a\r\x1A\n", {"a\r"}},
        {"zero byte first gives an empty text", std::string("\0abc\nxy\n", 8), {"", "xy\n"}},
        {"zero byte cuts the rest of the read", std::string("N:Doe\0junk\r\nNEXT\n", 17), {"N:Doe", "NEXT\n"}},
    };
}

TEST(LineReader, DeliversTextModePiecesWhateverTheChunkSize)
{
    for (const ReaderCase& c : reader_cases()) {
        std::string expected;
        for (const std::string& text : c.texts) {
            expected += escaped(text) + "|";
        }
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                                        std::size_t{1999}, std::size_t{2000}, kReadChunkBytes}) {
            EXPECT_EQ(pieces_of(c.bytes, chunk, chunk), expected) << c.name << ", chunk " << chunk;
        }
        EXPECT_EQ(pieces_of(c.bytes, kReadChunkBytes, 5), expected) << c.name << ", short reads";
    }
}

TEST(LineReader, SplitsCrLfAcrossARefill)
{
    // With a chunk of 4 bytes the CR is the last byte of the first chunk.
    EXPECT_EQ(pieces_of("abc\r\ndef\r\n", 4, 4), "abc\\n|def\\n|");
}

TEST(LineReader, ReportsAFailedReadRatherThanAnEnd)
{
    MemoryFiles files;
    files.folders["dir"] = true;
    LineReader reader;
    ASSERT_TRUE(open_line_reader(reader, files, "dir").ok);
    const IoStatus ahead = read_ahead(reader);
    EXPECT_FALSE(ahead.ok);
    EXPECT_EQ(ahead.reason, "Is a directory");
    EXPECT_FALSE(read_piece(reader));
    EXPECT_FALSE(close_line_reader(reader).ok);
    EXPECT_EQ(files.open_count(), 0u);
}

} // namespace
} // namespace cardtab
