// SPDX-License-Identifier: MIT
#include "base/WorkPacer.h"

namespace zaplo {

bool WorkPacer::TryNow(int64_t nNowUs) {
    if (nNowUs - nStartUs_ >= nThisWindowUs_) {
        nStartUs_ = nNowUs;
        nThisWindowUs_ = nWindowUs_;
        nSpentUs_ = 0;
        bWaiting_ = false;
    }
    // Once something waits, nothing later goes first: lines keep their order.
    if (bWaiting_ || nSpentUs_ >= nBudgetUs_) {
        bWaiting_ = true;
        return false;
    }
    return true;
}

void WorkPacer::DoneBatch(int64_t nNowUs, int64_t nTookUs) {
    nStartUs_ = nNowUs;
    nThisWindowUs_ = nTookUs * kBusyShare > nWindowUs_ ? nTookUs * kBusyShare : nWindowUs_;
    nSpentUs_ = 0;
    bWaiting_ = false;
}

int64_t WorkPacer::WaitUs(int64_t nNowUs) const {
    const int64_t nLeft = nStartUs_ + nThisWindowUs_ - nNowUs;
    return nLeft > 0 ? nLeft : 0;
}

} // namespace zaplo
