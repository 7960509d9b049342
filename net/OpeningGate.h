// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <string>
#include <string_view>

namespace zaplo {

// The first moments of a connection accepted on a port that serves TLS as well as plain text,
// on its bare descriptor, before any socket object reads from it. A TLS client's first byte is
// 0x16, the record type of the handshake that carries its hello; an honest plain client's is the
// "{" of its join. The byte is looked at without taking it (MSG_PEEK), so whichever socket then
// takes the descriptor reads the stream whole. A client that sends nothing counts as plain once
// the wait is over: a TLS client says hello at once, a retransmission or two included.
//
// Where TLS is required, a plain client gets one plain line, the end of its connection, a
// moment to read both, and is closed; what it sends meanwhile is read and dropped.
class OpeningGate : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned char kTlsHandshake = 0x16;

    explicit OpeningGate(QObject* parent = nullptr);
    ~OpeningGate() override;

    // Watches fd (which stays this gate's until Release or Stop) for its first byte, at most nMs.
    void Watch(qintptr fd, int nMs);
    // Sends szLine on the watched descriptor, ends the sending side and waits at most nLingerMs
    // for the peer to close, then closes the descriptor and raises Closed.
    void Refuse(std::string_view szLine, int nLingerMs);
    // The descriptor, no longer watched; -1 when there is none.
    qintptr Release();
    // Closes the descriptor if it is still here; no signal.
    void Stop();
    bool Busy() const { return fd_ >= 0; }
    bool Refusing() const { return bRefusing_; }

Q_SIGNALS:
    // The first byte has come (or the peer has closed, or nothing came in time).
    void Decided(bool bTls);
    void Closed();

private:
    void OnReadable();
    void OnTimeout();
    void Finish();

    qintptr fd_ = -1;
    bool bRefusing_ = false;
    QSocketNotifier notifier_{QSocketNotifier::Read};
    QTimer timer_;
};

} // namespace zaplo
