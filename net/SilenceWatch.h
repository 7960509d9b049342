// SPDX-License-Identifier: MIT
#pragma once

#include "base/SilenceRule.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace zaplo {

// Watches one connection while data waits for its peer, and says when the peer has vanished
// (SilenceRule): nothing acknowledged for the bound while the system still holds bytes for it or
// the program does. The numbers come from the system (the send queue and the time of the last
// acknowledgement), so nothing of it is on the wire. Idle links are not looked at at all; their
// vanished peers are found by keep-alive probes.
//
// This is the job TCP's user timeout would do, but Linux also ends a link with that option when
// a live receiver keeps its window shut or nearly so (a slow reader behind a flood) for that
// long, although it answers every probe.
class SilenceWatch : public QObject {
    Q_OBJECT
public:
    explicit SilenceWatch(QObject* parent = nullptr);

    // Bytes were handed over on descriptor fd; nBoundMs <= 0 watches nothing.
    void Sent(qintptr fd, int nBoundMs);
    void Stop();
    // Bytes the program still holds for this link (not yet taken by the system).
    std::function<qint64()> heldHere;

Q_SIGNALS:
    void Vanished();

private:
    void Look();

    QTimer timer_;
    QElapsedTimer clock_;
    SilenceRule rule_{0};
    qintptr fd_ = -1;
};

} // namespace zaplo
