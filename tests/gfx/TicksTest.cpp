// SPDX-License-Identifier: MIT
#include "base/Ticks.h"

#include <gtest/gtest.h>

#include <climits>

namespace zaplo {
namespace {

TEST(Ticks, PastIsStrictAndAfterDoesNotOverflowAcrossTheWrap) {
    constexpr int32_t L = INT32_MIN;
    constexpr int32_t H = INT32_MAX;
    const int32_t cases[][3] = {
        {1000, 1000, 0}, {1001, 1000, 1}, {999, 1000, 0}, {L, H, 1},
        {H, L, 0},       {3, -3, 1},      {-3, 3, 0}}; // now, deadline, past
    for (const auto& c : cases) {
        EXPECT_EQ(TicksPast(c[0], c[1]), c[2] == 1) << c[0] << " " << c[1];
    }
    const int32_t deadline = TicksAfter(INT32_MAX - 5, 60000);
    EXPECT_EQ(deadline, INT32_MIN + 59994);
    EXPECT_FALSE(TicksPast(INT32_MAX, deadline));
    EXPECT_TRUE(TicksPast(TicksAfter(deadline, 1), deadline));
    EXPECT_EQ(TicksAfter(-1, 1), 0);
}

} // namespace
} // namespace zaplo
