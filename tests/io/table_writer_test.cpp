#include "io/table_writer.hpp"

#include <gtest/gtest.h>

#include "support/bytes.hpp"
#include "support/memory_files.hpp"

namespace cardtab {
namespace {

using testing::escaped;
using testing::FaultyFiles;
using testing::MemoryFiles;

TEST(TableWriter, WritesEveryLineFeedAsCrLf)
{
    for (const std::size_t buffer : {std::size_t{2}, std::size_t{3}, std::size_t{5}, kWriteChunkBytes}) {
        MemoryFiles files;
        TableWriter writer;
        ASSERT_TRUE(create_table_writer(writer, files, "t.csv", buffer).ok);
        put_text(writer, "a,b\n\n");
        put_byte(writer, '"');
        put_text(writer, "x\ry");
        put_byte(writer, '\n');
        ASSERT_TRUE(close_table_writer(writer).ok);
        EXPECT_EQ(escaped(files.files["t.csv"]), escaped("a,b\r\n\r\n\"x\ry\r\n")) << "buffer " << buffer;
    }
}

TEST(TableWriter, KeepsTheFirstFailureUntilClose)
{
    // Calls: 1 create, 2 to 4 the writes of a 4-byte buffer, 5 close.
    for (const std::size_t failing_call : {2u, 3u, 4u, 5u}) {
        MemoryFiles memory;
        FaultyFiles files(memory, failing_call);
        TableWriter writer;
        ASSERT_TRUE(create_table_writer(writer, files, "t.csv", 4).ok);
        put_text(writer, "abcdefgh\n");
        const IoStatus closed = close_table_writer(writer);
        EXPECT_FALSE(closed.ok) << "call " << failing_call;
        EXPECT_EQ(closed.reason, testing::kInjectedReason);
        EXPECT_EQ(memory.open_count(), 0u) << "the file is closed even after a failure";
    }
}

} // namespace
} // namespace cardtab
