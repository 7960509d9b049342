// SPDX-License-Identifier: MIT
#include "server/LineBudget.h"

#include <algorithm>

namespace zaplo {

bool LineBudget::Take(int32_t lNow) {
    if (bStarted_) {
        // The tick counter wraps: the difference is taken modulo 2^32; a clock that went back
        // refills nothing.
        const auto nElapsed =
            static_cast<int32_t>(static_cast<uint32_t>(lNow) - static_cast<uint32_t>(lLast_));
        nMilliLines_ = std::min<int64_t>(nMilliLines_ + int64_t{std::max(nElapsed, 0)} * kPerSecond,
                                         int64_t{kBurst} * 1000);
    }
    bStarted_ = true;
    lLast_ = lNow;
    if (nMilliLines_ < 1000) {
        ++nDropped_;
        return false;
    }
    nMilliLines_ -= 1000;
    return true;
}

int64_t LineBudget::TakeDropped() {
    const int64_t nDropped = nDropped_;
    nDropped_ = 0;
    return nDropped;
}

} // namespace zaplo
