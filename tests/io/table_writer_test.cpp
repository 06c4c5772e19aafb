#include "io/table_writer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bytes.hpp"
#include "support/memory_files.hpp"

namespace cardtab {
namespace {

using testing::escaped;
using testing::FaultyFiles;
using testing::MemoryFiles;

// Writes each text as a line of its own, as begin_line, append_text and
// end_line do; "Q" asks for the next text quoted.
void put_lines(TableWriter& writer, const std::vector<std::string>& texts)
{
    bool quoted = false;
    for (const std::string& text : texts) {
        if (text == "Q") {
            quoted = true;
            continue;
        }
        char* out = begin_line(writer, 2 * text.size() + 2);
        out = quoted ? append_quoted(out, text, '"') : append_text(out, text);
        end_line(writer, out);
        quoted = false;
    }
}

// Lines end in CR LF however the buffer falls, even one too small for a
// line, which grows.
TEST(TableWriter, EndsEveryLineInCrLf)
{
    for (const std::size_t buffer : {std::size_t{1}, std::size_t{3}, std::size_t{5}, std::size_t{9}, kWriteChunkBytes}) {
        MemoryFiles files;
        TableWriter writer;
        ASSERT_TRUE(create_table_writer(writer, files, files.look_up("t.csv"), buffer).ok);
        put_lines(writer, {"a,b", "", "Q", "x\ry\"z\"", "end"});
        ASSERT_TRUE(close_table_writer(writer).ok);
        ASSERT_TRUE(commit_table(writer).ok);
        EXPECT_EQ(escaped(files.files["t.csv"]), escaped("a,b\r\n\r\n\"x\ry\"\"z\"\"\"\r\nend\r\n")) << "buffer " << buffer;
    }
}

TEST(TableWriter, KeepsTheFirstFailureUntilClose)
{
    // Calls: 1 the check that the table may be written, 2 the new file made
    // beside it, 3 to 5 the writes of a 6-byte buffer, a line each, 6 close.
    for (const std::size_t failing_call : {3u, 4u, 5u, 6u}) {
        MemoryFiles memory;
        FaultyFiles files(memory, failing_call);
        TableWriter writer;
        ASSERT_TRUE(create_table_writer(writer, files, memory.look_up("t.csv"), 6).ok);
        put_lines(writer, {"abcd", "efgh", "ijkl"});
        const IoStatus closed = close_table_writer(writer);
        EXPECT_FALSE(closed.ok) << "call " << failing_call;
        EXPECT_EQ(closed.reason, testing::kInjectedReason);
        EXPECT_EQ(memory.open_count(), 0u) << "the file is closed even after a failure";
    }
}

TEST(TableWriter, ReplacesAPlainFileOnlyOnceItIsComplete)
{
    const std::string old_table = "an old table, longer than the new";
    const struct {
        std::string name;
        std::function<void(MemoryFiles&)> prepare;
        Replacement way;
        std::string during; // the target while the table is being written
        std::string after;
    } cases[] = {
        {"written beside, then moved", [](MemoryFiles&) {}, Replacement::rename, old_table, "new\r\n"},
        {"copied where the folder allows no new file", [](MemoryFiles& files) { files.refuses_new_files = true; },
         Replacement::copy, old_table, "new\r\n"},
        {"copied into a table with a second name", [](MemoryFiles& files) { files.linked.insert("t.csv"); },
         Replacement::copy, old_table, "new\r\n"},
        {"copied into a table with attributes", [](MemoryFiles& files) { files.with_attributes.insert("t.csv"); },
         Replacement::copy, old_table, "new\r\n"},
        {"appended to the descriptor a link names",
         [](MemoryFiles& files) {
             files.descriptor_links["t.csv"] = kStandardOutput;
             files.descriptor_files[kStandardOutput] = "t.csv";
         },
         Replacement::written_directly, old_table, old_table + "new\r\n"},
    };
    for (const auto& c : cases) {
        MemoryFiles files;
        files.files["t.csv"] = old_table;
        c.prepare(files);
        TableWriter writer;
        ASSERT_TRUE(create_table_writer(writer, files, files.look_up("t.csv"), 2).ok) << c.name;
        EXPECT_EQ(writer.table.way, c.way) << c.name;
        put_lines(writer, {"new"});
        EXPECT_EQ(files.files["t.csv"].substr(0, c.during.size()), c.during) << c.name;
        ASSERT_TRUE(close_table_writer(writer).ok) << c.name;
        ASSERT_TRUE(commit_table(writer).ok) << c.name;
        EXPECT_EQ(escaped(files.files["t.csv"]), escaped(c.after)) << c.name;
        EXPECT_EQ(files.names(), "t.csv ") << c.name << ": the new file is gone";
        EXPECT_EQ(files.open_count(), 0u) << c.name;
        EXPECT_TRUE(files.locked.empty()) << c.name << ": every lock is let go";
    }
}

TEST(TableWriter, DiscardingKeepsTheOldTable)
{
    MemoryFiles files;
    files.files["t.csv"] = "old";
    TableWriter writer;
    ASSERT_TRUE(create_table_writer(writer, files, files.look_up("t.csv"), 2).ok);
    put_lines(writer, {"new"});
    discard_table(writer);
    EXPECT_EQ(files.files["t.csv"], "old");
    EXPECT_EQ(files.names(), "t.csv ");
    EXPECT_EQ(files.open_count(), 0u);
}

} // namespace
} // namespace cardtab
