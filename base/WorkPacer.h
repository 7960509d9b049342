// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace zaplo {

// Decides whether a piece of screen work is done at once or put off. Work is done at once while
// the time spent on it in the current window of time stays within a budget, so ordinary use
// shows every change immediately; a flood uses up the budget and from then on waits for the
// window's end, where it is done once for everything that arrived meanwhile. Times are
// microseconds from any steady clock, handed in by the caller.
class WorkPacer {
public:
    WorkPacer(int64_t nWindowUs, int64_t nBudgetUs)
        : nWindowUs_(nWindowUs), nBudgetUs_(nBudgetUs) {}

    // True when work may be done now; the caller then reports its time with Spent.
    bool TryNow(int64_t nNowUs);
    void Spent(int64_t nTookUs) { nSpentUs_ += nTookUs; }
    // The put-off batch, done at the window's end, took nTookUs: a new window starts, as long as
    // the window or kBusyShare times the batch's time, whichever is longer, so the batches of a
    // flood that goes on take at most about 1 / kBusyShare of the time.
    void DoneBatch(int64_t nNowUs, int64_t nTookUs);
    // Microseconds from nNowUs to the end of the current window (0 when it is over).
    int64_t WaitUs(int64_t nNowUs) const;

    static constexpr int64_t kBusyShare = 4;

private:
    int64_t nWindowUs_;
    int64_t nBudgetUs_;
    int64_t nStartUs_ = 0;
    int64_t nThisWindowUs_ = 0;
    int64_t nSpentUs_ = 0;
    bool bWaiting_ = false; // something waits for this window's end
};

} // namespace zaplo
