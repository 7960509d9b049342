#pragma once

#include <cstddef>
#include <cstdint>

namespace zaplo {

// Decides whether a piece of screen work is done at once or put off. Work is done at once while
// the work done in the current window of time stays within a budget, so ordinary use shows every
// change immediately; a flood exceeds the budget and from then on waits for the window's end,
// where it is done once for everything that arrived meanwhile. Times are milliseconds from any
// steady clock, handed in by the caller.
class WorkPacer {
public:
    WorkPacer(int64_t nWindowMs, std::size_t nBudget) : nWindowMs_(nWindowMs), nBudget_(nBudget) {}

    // True when work of nCost may be done now (and counts it); false when it must wait.
    bool TryNow(int64_t nNowMs, std::size_t nCost);
    // Counts work done at the window's end (the put-off batch) and starts a new window there.
    void DoneBatch(int64_t nNowMs, std::size_t nCost);
    // Milliseconds from nNowMs to the end of the current window (0 when it is over).
    int64_t WaitMs(int64_t nNowMs) const;

private:
    int64_t nWindowMs_;
    std::size_t nBudget_;
    int64_t nStartMs_ = 0;
    std::size_t nSpent_ = 0;
    bool bStarted_ = false;
};

} // namespace zaplo
