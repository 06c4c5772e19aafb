#include "io/console.hpp"

#include <gtest/gtest.h>

namespace cardtab {
namespace {

TEST(Console, HoldsTheWindowOpenOnlyForAWindowOfItsOwn)
{
    const struct {
        bool printed;
        unsigned processes;
        bool input_is_console;
        bool holds;
    } cases[] = {
        {true, 1, true, true},    // started from Explorer
        {false, 1, true, false},  // nothing to read
        {true, 2, true, false},   // started from a console
        {true, 1, false, false},  // input redirected
        {true, 0, false, false},  // no console at all
    };
    for (const auto& c : cases) {
        EXPECT_EQ(keeps_window_open(c.printed, {c.processes, c.input_is_console}), c.holds)
            << c.printed << " " << c.processes << " " << c.input_is_console;
    }
}

} // namespace
} // namespace cardtab
