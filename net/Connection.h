// SPDX-License-Identifier: MIT
#pragma once

#include "net/TcpSocket.h"
#include "net/core/ReceiveBuffer.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zaplo {

class EventPump;
class PacketHost;

// One socket of the session (a server slot or the client's connection) with what it needs to
// turn arriving bytes into dispatched lines: a receive buffer, so a message split across blocks
// is put together again, and the dispatch state that keeps this peer's lines in the order they
// arrived.
//
// It does not read by itself when data arrives: it tells the session's ReadScheduler
// (onReadable), which serves every ready connection in turn with a budget (Serve), so one
// peer's flood cannot hold up the others. The peer's close is handed on once every byte it
// sent before has been dispatched.
//
// For the server's flow control it carries the scheduler's mark (bPaced: not read for now) and
// tells the server whose lines are being dispatched (pnServing).
class Connection : public QObject {
    Q_OBJECT
public:
    Connection(int16_t nOrigin, PacketHost& host, EventPump& pump, QObject* parent = nullptr);

    TcpSocket& Socket() { return socket_; }
    const TcpSocket& Socket() const { return socket_; }

    // Closed here and not being dispatched: can take a new connection.
    bool IsFree() const;
    // Takes a new connection (a request identifier) with an empty receive buffer.
    bool Accept(qintptr id);
    // Starts connecting to szHost:nPort with an empty receive buffer.
    void Connect(const std::string& szHost, int nPort);
    // Closes the connection; lines of it that are still waiting are not dispatched.
    void Close();

    // Unread bytes, or a close of the peer that was not handed on yet.
    bool HasPending() const;
    // Reads at most nBudget bytes and dispatches the lines they complete; hands on the peer's
    // close once nothing is left. False when nothing is pending afterwards.
    bool Serve(qint64 nBudget);

    // Bytes held for this connection: read ahead by Qt, in the receive buffer, not yet sent.
    qint64 Held() const {
        return socket_.BytesAvailable() + static_cast<qint64>(buffer_.Buffered()) +
               socket_.BytesToWrite();
    }

    int16_t Origin() const { return nOrigin_; }
    // Not read for now: its lines pile up at some receiver (set by the server's flow control).
    bool bPaced = false;
    // The client has joined: only then does it receive anything of the session. Cleared with
    // every new connection and every close.
    bool bJoined = false;
    // The server's join count when this connection joined (ServerLink::Joins).
    uint64_t nJoinedAs = 0;
    // When the current connection was taken (the program's ticks), and the address it comes
    // from (PeerKey).
    int32_t lAccepted = 0;
    std::string szPeerKey;
    // The server's wait for this connection to come up, while it shows what it is.
    QMetaObject::Connection upWatch;
    // Holds this connection's origin while its lines are dispatched (and the outer value again
    // afterwards), so the server knows whose relays and answers it sends.
    int16_t* pnServing = nullptr;

    // Called when the peer has closed, once every line it sent before has been dispatched.
    std::function<void()> onPeerClosed;
    // Called when bytes have arrived or the peer has closed: something to Serve.
    std::function<void()> onReadable;

private:
    void Readable();
    void DispatchLines(std::string_view szLines, quint64 nGeneration);
    void Reset();

    int16_t nOrigin_;
    PacketHost& host_;
    EventPump& pump_;
    TcpSocket socket_;
    ReceiveBuffer buffer_;
    bool bBusy_ = false;
    bool bClosePending_ = false;
    // Changes with every new connection and every local close; a dispatch running for an
    // earlier one stops.
    quint64 nGeneration_ = 0;
};

} // namespace zaplo
