// SPDX-License-Identifier: MIT
#include "net/SilenceWatch.h"

#include "net/SocketDescriptor.h"

#include <algorithm>
#include <limits>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace zaplo {

namespace {

int32_t Ms(const QElapsedTimer& clock) {
    return static_cast<int32_t>(clock.elapsed() & std::numeric_limits<int32_t>::max());
}

} // namespace

SilenceWatch::SilenceWatch(QObject* parent) : QObject(parent) {
    timer_.setParent(this);
    clock_.start();
    connect(&timer_, &QTimer::timeout, this, &SilenceWatch::Look);
}

void SilenceWatch::Sent(qintptr fd, int nBoundMs) {
    if (timer_.isActive() || nBoundMs <= 0 || fd < 0) {
        return;
    }
    if (rule_.BoundMs() != nBoundMs) {
        rule_ = SilenceRule(nBoundMs);
    }
    fd_ = fd;
    rule_.Reset();
    rule_.Sent(Ms(clock_));
    // Several looks per bound: a vanished peer is found soon after the bound, at most 0.5 s.
    timer_.start(std::clamp(nBoundMs / 8, 50, 500));
}

void SilenceWatch::Stop() {
    timer_.stop();
    rule_.Reset();
    fd_ = -1;
}

void SilenceWatch::Look() {
    tcp_info info{};
    socklen_t nLength = sizeof info;
    if (fd_ < 0 ||
        ::getsockopt(static_cast<int>(fd_), IPPROTO_TCP, TCP_INFO, &info, &nLength) != 0) {
        Stop();
        return;
    }
    const bool bWaiting = SocketDescriptor::Unacknowledged(fd_) > 0 || (heldHere && heldHere() > 0);
    if (rule_.Vanished(Ms(clock_), bWaiting, info.tcpi_last_ack_recv)) {
        Stop();
        Q_EMIT Vanished();
        return;
    }
    if (!rule_.Watching()) {
        Stop();
    }
}

} // namespace zaplo
