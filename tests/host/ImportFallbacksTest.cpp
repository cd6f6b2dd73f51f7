#include <gtest/gtest.h>

#include "host/ImportFallbacks.h"

namespace {

TEST(TickCountExtender, CountsEachWrapOfTheTickCountOnce) {
    TickCountExtender ticks;
    EXPECT_EQ(0xFFFFFF00ull, ticks.Advance(0xFFFFFF00));
    EXPECT_EQ(0xFFFFFFFFull, ticks.Advance(0xFFFFFFFF));
    EXPECT_EQ(0x100000010ull, ticks.Advance(0x10));
    EXPECT_EQ(0x100000020ull, ticks.Advance(0x20));
    EXPECT_EQ(0x100000020ull, ticks.Advance(0x20));
    EXPECT_EQ(0x200000005ull, ticks.Advance(0x5));
}

} // namespace
