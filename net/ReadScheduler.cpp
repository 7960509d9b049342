// SPDX-License-Identifier: MIT
#include "net/ReadScheduler.h"

#include "net/Connection.h"
#include "net/EventPump.h"

#include <algorithm>

namespace zaplo {

ReadScheduler::ReadScheduler(EventPump& pump, QObject* parent) : QObject(parent), pump_(pump) {
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
    // An armed pass stays as it is, unless it comes later than this one would.
    if (!timer_.isActive() || (nDelayMs == 0 && timer_.remainingTime() > 0)) {
        timer_.start(nDelayMs);
    }
}

void ReadScheduler::Pass() {
    if (bInPass_) {
        // The running pass looks for more when it ends.
        return;
    }
    if (pace) {
        pace();
    }
    bInPass_ = true;
    pump_.Begin();
    const std::size_t nCount = connections_.size();
    for (std::size_t nServed = 0; nServed < nCount; ++nServed) {
        Connection* c = connections_[(nNext_ + nServed) % nCount];
        if (!c->bPaced && c->HasPending()) {
            c->Serve(kReadBudget);
        }
    }
    // The next pass starts one further on.
    nNext_ = nCount > 0 ? (nNext_ + 1) % nCount : 0;
    pump_.EndAndHandOver();
    bInPass_ = false;
    bool bReady = false;
    bool bWaiting = false;
    for (const Connection* c : connections_) {
        if (c->HasPending()) {
            (c->bPaced ? bWaiting : bReady) = true;
        }
    }
    if (bReady) {
        Schedule(0);
    } else if (bWaiting) {
        Schedule(kStoppedPollMs);
    }
}

} // namespace zaplo
