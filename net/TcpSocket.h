#pragma once

#include "net/TcpListener.h"

#include <QObject>
#include <QTcpSocket>

#include <cstdint>
#include <string>
#include <string_view>

namespace zaplo {

// An event-driven TCP socket in the manner of a socket control: one object that either listens
// or carries one connection, and can be closed and used again for another connection.
//
// Events: ConnectionRequest while listening, DataArrival when bytes have come in, PeerClosed
// when the other side has closed the connection. A local Close never raises PeerClosed. After
// the peer has closed, the socket reports Closing until it is closed locally, so the owner
// decides when the object becomes free again; the bytes that arrived before the close can
// still be read.
class TcpSocket : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Listening, Connecting, Connected, Closing };

    // Most bytes Qt reads ahead from the system per connection; beyond it the bytes wait in the
    // system's buffer, and TCP's own flow control slows the peer down.
    static constexpr qint64 kReadAhead = 64 * 1024;

    explicit TcpSocket(QObject* parent = nullptr);
    ~TcpSocket() override;

    // Hands whatever is already written to the system, then drops the connection or stops
    // listening. Afterwards the state is Closed and the object can listen, accept or connect.
    void Close();

    // Port to listen on; while listening or connected, the port actually in use.
    void SetLocalPort(int nPort) { nLocalPort_ = nPort; }
    int LocalPort() const;

    // Listens on LocalPort at szHost (empty: every address). On failure the socket stays
    // closed and LastError tells why.
    bool Listen(const std::string& szHost = {});
    // Takes the connection of a request identifier from ConnectionRequest.
    bool Accept(qintptr id);
    // Closes the connection of a request identifier without taking it.
    static void Reject(qintptr id);

    void SetRemoteHost(const std::string& szHost) { szRemoteHost_ = szHost; }
    void SetRemotePort(int nPort) { nRemotePort_ = nPort; }
    // Starts connecting to the remote host and port and returns at once; State tells how.
    void Connect();

    State GetState() const;
    bool IsConnected() const { return GetState() == State::Connected; }

    // Every byte that has arrived and was not read yet, one character per byte.
    std::string ReadAll();
    // At most nMax of those bytes.
    std::string Read(qint64 nMax);
    qint64 BytesAvailable() const;
    // Hands the whole text to the connection's send buffer, which is written out as events run.
    void Send(std::string_view szText);
    // Bytes handed to Send that the system has not taken yet.
    qint64 BytesToWrite() const;
    // Hands the system as much of the send buffer as it takes now, without waiting.
    void Flush();
    // Bytes of this object's connections that the peer has acknowledged: what was handed to the
    // system minus what still waits there. It grows while the peer reads.
    qint64 Acknowledged() const;

    QAbstractSocket::SocketError LastError() const { return lastError_; }
    QString LastErrorString() const { return szLastError_; }

Q_SIGNALS:
    void ConnectionRequest(qintptr id);
    void DataArrival(qint64 nBytes);
    void PeerClosed();

private:
    void OnStateChanged(QAbstractSocket::SocketState state);
    void OnError(QAbstractSocket::SocketError error);

    QTcpSocket socket_;
    TcpListener listener_;
    int nLocalPort_ = 0;
    std::string szRemoteHost_;
    int nRemotePort_ = 0;
    bool bWasConnected_ = false;
    bool bPeerGone_ = false;
    bool bClosingLocally_ = false;
    qint64 nHandedOver_ = 0; // bytes the system has taken from the send buffer, ever
    // Counts the connections this object has carried; a PeerClosed for an earlier one is
    // dropped.
    quint64 nConnection_ = 0;
    QAbstractSocket::SocketError lastError_ = QAbstractSocket::UnknownSocketError;
    QString szLastError_;
};

} // namespace zaplo
