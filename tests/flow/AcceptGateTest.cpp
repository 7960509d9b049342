// SPDX-License-Identifier: MIT
// New connections per address at a bounded rate, with a burst for a class joining together.
#include "net/AcceptGate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

using zaplo::AcceptGate;

int Admitted(AcceptGate& gate, const std::string& szAddress, int nTries, int32_t lNow) {
    int n = 0;
    for (int i = 0; i < nTries; ++i) {
        n += gate.Admit(szAddress, lNow) ? 1 : 0;
    }
    return n;
}

TEST(AcceptGate, BurstThenOneAddressAtItsRateOthersUntouched) {
    for (const int32_t lStart : {0, std::numeric_limits<int32_t>::max() - 500}) {
        AcceptGate gate;
        // A class of 30 within a second, and more, up to the burst.
        EXPECT_EQ(Admitted(gate, "a", 100, lStart), AcceptGate::kBurst) << lStart;
        EXPECT_EQ(Admitted(gate, "b", 30, lStart), 30);
        // One token per kTokenMs afterwards, across the counter's wrap.
        int32_t lNow = lStart;
        int nLater = 0;
        for (int ms = 1; ms <= 1000; ++ms) {
            lNow = static_cast<int32_t>(static_cast<uint32_t>(lNow) + 1);
            nLater += Admitted(gate, "a", 3, lNow);
        }
        EXPECT_EQ(nLater, AcceptGate::kPerSecond) << lStart;
        // Idle long enough, the whole burst is back.
        lNow = static_cast<int32_t>(static_cast<uint32_t>(lNow) + 10000);
        EXPECT_EQ(Admitted(gate, "a", 100, lNow), AcceptGate::kBurst);
        // A clock that went back (or a bucket idle for half the counter's range) counts as full.
        EXPECT_EQ(
            Admitted(gate, "a", 100, static_cast<int32_t>(static_cast<uint32_t>(lNow) - 100000)),
            AcceptGate::kBurst);
    }
}

TEST(AcceptGate, RemembersABoundedNumberOfAddresses) {
    AcceptGate gate;
    for (std::size_t i = 0; i < AcceptGate::kMaxAddresses; ++i) {
        EXPECT_TRUE(gate.Admit(std::to_string(i), 0));
    }
    // All busy: a new address waits too, and nothing more is remembered.
    EXPECT_FALSE(gate.Admit("new", 0));
    EXPECT_EQ(gate.Addresses(), AcceptGate::kMaxAddresses);
    // Once their buckets are full again they are forgotten and the newcomer is taken.
    EXPECT_TRUE(gate.Admit("new", AcceptGate::kTokenMs));
    EXPECT_EQ(gate.Addresses(), std::size_t{1});
}

} // namespace
