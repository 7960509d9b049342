// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace zaplo {

// How many status lines the headless server prints: a burst of kBurst, then kPerSecond a second.
// Peers choose how often the server logs (joins and departures in a loop, or status lines of
// their own, which the window shows too); the budget keeps that from filling the system's log
// and from holding the session up while standard output is slow. Lines over the budget are
// counted, so the next line that fits can say how many went unprinted.
class LineBudget {
public:
    static constexpr int32_t kBurst = 100;
    static constexpr int32_t kPerSecond = 10;

    // True when one more line may be printed at lNow (milliseconds, the program's tick counter);
    // false counts it as dropped.
    bool Take(int32_t lNow);
    // Lines dropped since the last call; starts counting again from 0.
    int64_t TakeDropped();

private:
    // In thousandths of a line, so a refill of a few milliseconds is not lost to rounding.
    int64_t nMilliLines_ = int64_t{kBurst} * 1000;
    int32_t lLast_ = 0;
    bool bStarted_ = false;
    int64_t nDropped_ = 0;
};

} // namespace zaplo
