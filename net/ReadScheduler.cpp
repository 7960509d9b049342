#include "net/ReadScheduler.h"

#include "net/Connection.h"

#include <algorithm>

namespace zaplo {

ReadScheduler::ReadScheduler(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &ReadScheduler::Pass);
}

void ReadScheduler::Add(Connection* c) {
    connections_.push_back(c);
    c->onReadable = [this] { Wake(); };
}

void ReadScheduler::Wake() {
    Schedule(0);
}

void ReadScheduler::Schedule(int nDelayMs) {
    // An armed pass stays as it is: a paced pass does not come sooner because more arrived.
    if (!timer_.isActive()) {
        timer_.start(nDelayMs);
    }
}

void ReadScheduler::Pass() {
    if (bInPass_) {
        // The running pass looks for more when it ends.
        return;
    }
    Pace nPace = pace ? pace() : Pace::Full;
    if (nPace != Pace::Full) {
        const auto now = std::chrono::steady_clock::now();
        const auto nWait = std::chrono::milliseconds(kPacedIntervalMs) - (now - lastPaced_);
        if (nPace == Pace::Stop || nWait > std::chrono::milliseconds(0)) {
            if (std::none_of(connections_.begin(), connections_.end(),
                             [](const Connection* c) { return c->HasPending(); })) {
                return; // the next arrival wakes a pass
            }
            Schedule(nPace == Pace::Stop
                         ? kStoppedPollMs
                         : static_cast<int>(
                               std::chrono::ceil<std::chrono::milliseconds>(nWait).count()));
            return;
        }
        lastPaced_ = now;
    }
    bInPass_ = true;
    const std::size_t nCount = connections_.size();
    std::size_t nReady = 0;
    for (Connection* c : connections_) {
        nReady += c->HasPending() ? 1 : 0;
    }
    const int64_t nBudget =
        nPace == Pace::Full ? kReadBudget
                            : std::max<int64_t>(kPacedBudget / std::max<std::size_t>(nReady, 1), 1);
    std::size_t nServed = 0;
    for (; nServed < nCount; ++nServed) {
        const std::size_t i = (nNext_ + nServed) % nCount;
        if (!connections_[i]->HasPending()) {
            continue;
        }
        connections_[i]->Serve(nBudget);
        if (nPace == Pace::Full && pace && pace() != Pace::Full) {
            // Someone fell behind during this pass: the rest wait for a paced one.
            ++nServed;
            break;
        }
    }
    // The next pass starts one further on, or where this one stopped.
    nNext_ = nCount > 0 ? (nNext_ + (nServed < nCount ? nServed : 1)) % nCount : 0;
    bInPass_ = false;
    if (std::any_of(connections_.begin(), connections_.end(),
                    [](const Connection* c) { return c->HasPending(); })) {
        Schedule(0);
    }
}

} // namespace zaplo
