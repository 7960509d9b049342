// SPDX-License-Identifier: MIT
#include "net/AcceptGate.h"

namespace zaplo {

namespace {

constexpr int32_t kTokenMs = AcceptGate::kTokenMs;
constexpr int32_t kBurstMs = AcceptGate::kBurst * kTokenMs;

int32_t Since(int32_t lNow, int32_t lThen) {
    return static_cast<int32_t>(static_cast<uint32_t>(lNow) - static_cast<uint32_t>(lThen));
}

int32_t After(int32_t lNow, int32_t nMs) {
    return static_cast<int32_t>(static_cast<uint32_t>(lNow) + static_cast<uint32_t>(nMs));
}

} // namespace

// A bucket is kept as the tick at which it is full again: each token taken moves that tick on by
// one token's time, and a bucket whose tick lies more than the burst ahead is empty.
bool AcceptGate::Admit(const std::string& szAddress, int32_t lNow) {
    auto it = buckets_.find(szAddress);
    if (it == buckets_.end()) {
        if (buckets_.size() >= kMaxAddresses) {
            std::erase_if(buckets_, [lNow](const auto& entry) {
                return Since(lNow, entry.second.lFull) >= 0;
            });
            if (buckets_.size() >= kMaxAddresses) {
                return false;
            }
        }
        buckets_.emplace(szAddress, Bucket{After(lNow, kTokenMs)});
        return true;
    }
    Bucket& bucket = it->second;
    const int32_t nAhead = -Since(lNow, bucket.lFull); // ms until full
    // Never more than the burst ahead, unless the clock went back or the bucket lay idle for
    // longer than the counter's half range: full then.
    if (nAhead <= 0 || nAhead > kBurstMs) {
        bucket.lFull = After(lNow, kTokenMs);
        return true;
    }
    if (nAhead + kTokenMs > kBurstMs) {
        return false;
    }
    bucket.lFull = After(bucket.lFull, kTokenMs);
    return true;
}

} // namespace zaplo
