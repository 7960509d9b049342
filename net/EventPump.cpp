// SPDX-License-Identifier: MIT
#include "net/EventPump.h"

#include "net/TcpSocket.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

namespace zaplo {

EventPump::EventPump(std::function<int32_t()> clock, int nIntervalMs)
    : clock_(std::move(clock)), nIntervalMs_(nIntervalMs), lLastRun_(clock_()) {}

void EventPump::Begin() {
    if (nWork_++ == 0) {
        lLastRun_ = clock_();
        nSendsUnclocked_ = 0;
    }
}

void EventPump::End() {
    if (nWork_ > 0 && --nWork_ == 0 && !deferred_.empty() && !bHandOverPosted_) {
        bHandOverPosted_ = true;
        QMetaObject::invokeMethod(
            &context_,
            [this] {
                bHandOverPosted_ = false;
                HandOver();
            },
            Qt::QueuedConnection);
    }
}

void EventPump::EndAndHandOver() {
    if (nWork_ > 0 && --nWork_ == 0) {
        HandOver();
    }
}

void EventPump::AfterSend() {
    if (nIntervalMs_ > 0) {
        const bool bReadClock = nSendsUnclocked_ == 0;
        nSendsUnclocked_ = (nSendsUnclocked_ + 1) % kSendsPerClockRead;
        if (!bReadClock) {
            return;
        }
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
    HandOver();
    ++nDepth_;
    ++nRuns_;
    // Work nested in this run counts its interval from here: otherwise it would find the
    // interval already gone and nest one level deeper after every send.
    lLastRun_ = clock_();
    nSendsUnclocked_ = 0;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    --nDepth_;
    lLastRun_ = clock_();
    nSendsUnclocked_ = 0;
}

void EventPump::Defer(TcpSocket* socket) {
    deferred_.push_back(socket);
}

void EventPump::Forget(TcpSocket* socket) {
    deferred_.erase(std::remove(deferred_.begin(), deferred_.end(), socket), deferred_.end());
}

void EventPump::HandOver() {
    // Taken out first: handing over cannot defer again, but keep the loop safe anyway.
    std::vector<TcpSocket*> sockets;
    sockets.swap(deferred_);
    for (TcpSocket* socket : sockets) {
        socket->HandOver();
    }
    if (deferred_.empty()) {
        // Keeps the capacity for the next batch.
        sockets.clear();
        deferred_.swap(sockets);
    }
}

} // namespace zaplo
