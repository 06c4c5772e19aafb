#include "app/command_line.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace cardtab {
namespace {

TEST(CommandLine, OnlyExactQuestionsAreAnswered)
{
    const struct {
        std::vector<const char*> arguments;
        Request request;
        bool decode = false;
    } cases[] = {
        {{}, Request::convert},
        {{"--help"}, Request::help},
        {{"-h"}, Request::help},
        {{"--version"}, Request::version},
        {{"ignored", "--help"}, Request::help},
        {{"--version", "-h"}, Request::help},
        {{"--helpme"}, Request::convert},
        {{"-H"}, Request::convert},
        {{"-help"}, Request::convert},
        {{"--Version"}, Request::convert},
        {{"/?"}, Request::convert},
        {{"--decode"}, Request::convert, true},
        {{"ignored", "--decode", "more"}, Request::convert, true},
        {{"--Decode"}, Request::convert, false},
        {{"--decoded"}, Request::convert, false},
        {{"-d"}, Request::convert, false},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const char* argument : c.arguments) {
            shown += std::string(argument) + " ";
        }
        RunOptions options;
        EXPECT_EQ(read_command_line(c.arguments, options), c.request) << shown;
        EXPECT_EQ(options.decode, c.decode) << shown;
    }
}

} // namespace
} // namespace cardtab
