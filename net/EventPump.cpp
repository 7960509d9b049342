#include "net/EventPump.h"

#include <QCoreApplication>

#include <utility>

namespace zaplo {

EventPump::EventPump(std::function<int32_t()> clock, int nIntervalMs)
    : clock_(std::move(clock)), nIntervalMs_(nIntervalMs), lLastRun_(clock_()) {}

void EventPump::Begin() {
    if (nWork_++ == 0) {
        lLastRun_ = clock_();
    }
}

void EventPump::End() {
    if (nWork_ > 0) {
        --nWork_;
    }
}

void EventPump::AfterSend() {
    if (nIntervalMs_ > 0) {
        // Wrap-safe distance on the tick counter.
        const auto elapsed = static_cast<int32_t>(static_cast<uint32_t>(clock_()) -
                                                  static_cast<uint32_t>(lLastRun_));
        if (elapsed >= 0 && elapsed < nIntervalMs_) {
            return;
        }
    }
    Run();
}

void EventPump::Run() {
    if (nDepth_ >= kMaxDepth) {
        return;
    }
    ++nDepth_;
    ++nRuns_;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    --nDepth_;
    lLastRun_ = clock_();
}

} // namespace zaplo
