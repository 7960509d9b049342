// SPDX-License-Identifier: MIT
#include "net/GuessLimiter.h"

#include "base/Ticks.h"

#include <algorithm>

namespace zaplo {

int32_t GuessLimiter::WaitAfter(int nFailures) {
    if (nFailures < kFreeGuesses) {
        return 0;
    }
    int32_t lWait = kFirstWaitMs;
    for (int n = kFreeGuesses; n < nFailures && lWait < kMaxWaitMs; ++n) {
        lWait *= 2;
    }
    return std::min(lWait, kMaxWaitMs);
}

bool GuessLimiter::IsWaiting(const Record& record, int32_t lNow) const {
    // Due once the reading has passed the end of the wait.
    return record.nFailures >= kFreeGuesses && !TicksPast(lNow, record.lUntil);
}

bool GuessLimiter::Waiting(const std::string& szKey, int32_t lNow) const {
    const auto it = addresses_.find(szKey);
    return it != addresses_.end() && IsWaiting(it->second, lNow);
}

int GuessLimiter::Failures(const std::string& szKey) const {
    const auto it = addresses_.find(szKey);
    return it != addresses_.end() ? it->second.nFailures : 0;
}

void GuessLimiter::Failed(const std::string& szKey, int32_t lNow) {
    if (addresses_.size() >= kMaxAddresses && !addresses_.contains(szKey)) {
        MakeRoom(lNow);
    }
    Record& record = addresses_[szKey];
    // Bounded: the wait stops growing long before the count could overflow.
    record.nFailures = std::min(record.nFailures + 1, kFreeGuesses + 32);
    if (const int32_t lWait = WaitAfter(record.nFailures); lWait > 0) {
        record.lUntil = TicksAfter(lNow, lWait);
    }
}

void GuessLimiter::MakeRoom(int32_t lNow) {
    std::erase_if(addresses_, [&](const auto& entry) { return !IsWaiting(entry.second, lNow); });
    if (addresses_.size() < kMaxAddresses) {
        return;
    }
    auto soonest = addresses_.begin();
    for (auto it = addresses_.begin(); it != addresses_.end(); ++it) {
        if (TicksPast(soonest->second.lUntil, it->second.lUntil)) {
            soonest = it;
        }
    }
    addresses_.erase(soonest);
}

} // namespace zaplo
