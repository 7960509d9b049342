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
// arrived. The dispatcher lets events run, and a new block or the peer's close may be reported
// while an earlier block is still being dispatched; those wait for the running dispatch, which
// reads the socket again until it has nothing left (Qt does not report data again while its
// own report is being handled).
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

    // Called when the peer has closed, once every line it sent before has been dispatched.
    std::function<void()> onPeerClosed;

private:
    void Service();
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
