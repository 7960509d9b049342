#include "base/WorkPacer.h"

namespace zaplo {

bool WorkPacer::TryNow(int64_t nNowMs, std::size_t nCost) {
    if (!bStarted_ || nNowMs - nStartMs_ >= nWindowMs_) {
        bStarted_ = true;
        nStartMs_ = nNowMs;
        nSpent_ = 0;
    }
    if (nSpent_ + nCost > nBudget_ && nSpent_ > 0) {
        // Spend the rest of the budget on nothing: everything else in this window waits, so
        // lines keep their order.
        nSpent_ = nBudget_ + 1;
        return false;
    }
    nSpent_ += nCost;
    return true;
}

void WorkPacer::DoneBatch(int64_t nNowMs, std::size_t nCost) {
    bStarted_ = true;
    nStartMs_ = nNowMs;
    nSpent_ = nCost;
}

int64_t WorkPacer::WaitMs(int64_t nNowMs) const {
    if (!bStarted_) {
        return 0;
    }
    const int64_t nLeft = nStartMs_ + nWindowMs_ - nNowMs;
    return nLeft > 0 ? nLeft : 0;
}

} // namespace zaplo
