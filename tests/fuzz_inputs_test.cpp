#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/checks.hpp"
#include "support/scratch.hpp"

namespace {

namespace fs = std::filesystem;

// Runs a fuzzer's check on every stored input of that fuzzer: the seed
// corpus and every input that ever made it fail. A broken promise aborts.
std::size_t check_stored_inputs(const std::string& harness, void (*check)(std::string_view))
{
    std::size_t checked = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path folder = cardtab::testing::built_path(CARDTAB_FUZZ_DIR) / kind / harness;
        if (!fs::is_directory(folder)) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            SCOPED_TRACE(entry.path().string());
            check(input);
            ++checked;
        }
    }
    return checked;
}

TEST(FuzzInputs, ConversionKeepsItsPromises)
{
    EXPECT_GT(check_stored_inputs("conversion", cardtab::fuzzing::check_conversion), 0u);
}

TEST(FuzzInputs, LineReaderKeepsItsPromises)
{
    EXPECT_GT(check_stored_inputs("line_reader", cardtab::fuzzing::check_line_reader), 0u);
}

} // namespace
