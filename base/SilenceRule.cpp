// SPDX-License-Identifier: MIT
#include "base/SilenceRule.h"

#include <algorithm>

namespace zaplo {

void SilenceRule::Sent(int32_t lNow) {
    if (!bWaiting_) {
        bWaiting_ = true;
        lSince_ = lNow;
    }
}

bool SilenceRule::Vanished(int32_t lNow, bool bWaiting, int64_t nSinceAckMs) {
    if (!bWaiting) {
        bWaiting_ = false;
        return false;
    }
    Sent(lNow);
    // A link that was idle for long has heard nothing for long: only the silence since the
    // data began to wait counts.
    const auto nWaited = static_cast<int64_t>(
        static_cast<int32_t>(static_cast<uint32_t>(lNow) - static_cast<uint32_t>(lSince_)));
    return nBoundMs_ > 0 && std::min(nWaited, nSinceAckMs) >= nBoundMs_;
}

} // namespace zaplo
