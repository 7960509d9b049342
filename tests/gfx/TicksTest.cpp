#include "gfx/Ticks.h"

#include <gtest/gtest.h>

#include <climits>

namespace zaplo {
namespace {

TEST(Ticks, PastIsStrict) {
    EXPECT_FALSE(TicksPast(1000, 1000));
    EXPECT_TRUE(TicksPast(1001, 1000));
    EXPECT_FALSE(TicksPast(999, 1000));
    EXPECT_FALSE(TicksPast(-5, -5));
    EXPECT_TRUE(TicksPast(-4, -5));
}

TEST(Ticks, PastAcrossTheWrap) {
    // The counter runs from INT32_MAX on to INT32_MIN.
    EXPECT_TRUE(TicksPast(INT32_MIN, INT32_MAX));
    EXPECT_TRUE(TicksPast(INT32_MIN + 5, INT32_MAX - 10));
    EXPECT_FALSE(TicksPast(INT32_MAX - 10, INT32_MIN + 5));
    EXPECT_FALSE(TicksPast(INT32_MAX, INT32_MIN));
    // Through zero as well (uptime of about 49.7 days).
    EXPECT_TRUE(TicksPast(3, -3));
    EXPECT_FALSE(TicksPast(-3, 3));
}

TEST(Ticks, AfterNearTheTopDoesNotOverflow) {
    const int32_t now = INT32_MAX - 5;
    const int32_t deadline = TicksAfter(now, 60000);
    EXPECT_EQ(deadline, INT32_MIN + 59994);
    EXPECT_FALSE(TicksPast(now, deadline));
    EXPECT_FALSE(TicksPast(INT32_MAX, deadline));
    EXPECT_FALSE(TicksPast(deadline, deadline));
    EXPECT_TRUE(TicksPast(TicksAfter(deadline, 1), deadline));
    EXPECT_EQ(TicksAfter(INT32_MAX, 1), INT32_MIN);
    EXPECT_EQ(TicksAfter(-1, 1), 0);
}

TEST(Ticks, ReadingsDoNotGoBack) {
    int32_t previous = GetTicks();
    for (int i = 0; i < 1000; ++i) {
        const int32_t now = GetTicks();
        EXPECT_FALSE(TicksPast(previous, now));
        previous = now;
    }
}

} // namespace
} // namespace zaplo
