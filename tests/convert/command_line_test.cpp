#include "convert/command_line.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace cardtab {
namespace {

TEST(CommandLine, OnlyExactQuestionsAreAnswered)
{
    const struct {
        std::vector<const char*> arguments;
        Request request;
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
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const char* argument : c.arguments) {
            shown += std::string(argument) + " ";
        }
        EXPECT_EQ(request_of(c.arguments), c.request) << shown;
    }
}

} // namespace
} // namespace cardtab
