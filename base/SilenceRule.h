// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace zaplo {

// Whether a peer with data waiting for it has vanished: while something it was sent is not yet
// acknowledged or not yet sent, its system answers nothing at all (no acknowledgement, no window
// update, no answer to a window probe) for the bound. A peer that reads slowly, even one whose
// receive window stays shut for long stretches, still answers, so it is never taken for gone:
// whether it is too slow for the session is the relay's decision, not the transport's.
//
// Times are milliseconds of any steady clock, handed in by the caller, which looks now and then.
class SilenceRule {
public:
    explicit SilenceRule(int32_t nBoundMs) : nBoundMs_(nBoundMs) {}

    // Data was handed over for sending: a wait starts unless one is going on.
    void Sent(int32_t lNow);
    // A look at lNow: bWaiting tells whether anything is unacknowledged or unsent, nSinceAckMs
    // how long ago the peer last acknowledged anything. True when the peer counts as gone.
    bool Vanished(int32_t lNow, bool bWaiting, int64_t nSinceAckMs);
    // A wait is going on: the caller should keep looking.
    bool Watching() const { return bWaiting_; }
    void Reset() { bWaiting_ = false; }
    int32_t BoundMs() const { return nBoundMs_; }

private:
    int32_t nBoundMs_;
    int32_t lSince_ = 0;
    bool bWaiting_ = false;
};

} // namespace zaplo
