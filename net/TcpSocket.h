// SPDX-License-Identifier: MIT
#pragma once

#include "base/CertificateNote.h"
#include "net/OpeningGate.h"
#include "net/SilenceWatch.h"
#include "net/SocketDescriptor.h"
#include "net/SocketSender.h"
#include "net/TcpListener.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zaplo {

class EventPump;
class LinkSettings;
class TlsChannel;
class TlsServerSession;
struct LinkTimeouts;

// An event-driven TCP socket in the manner of a socket control: one object that either listens
// or carries one connection, and can be closed and used again for another connection.
//
// Events: ConnectionRequest while listening, DataArrival when bytes have come in, PeerClosed
// when the other side has closed the connection. A local Close never raises PeerClosed. After
// the peer has closed, the socket reports Closing until it is closed locally, so the owner
// decides when the object becomes free again; the bytes that arrived before the close can
// still be read.
//
// With LinkSettings every connection gets keep-alive probes and, while data waits for the peer,
// a SilenceWatch; a peer they find gone reads as the peer's close like any other. Where the
// settings hold a server certificate, an accepted connection is Connecting until its first byte
// tells a TLS hello from plain text (OpeningGate) and, for TLS, until the handshake is done; a
// client that joins over TLS is Connecting until the server's certificate is taken. Meanwhile
// nothing is sent or read. Over TLS everything else is the same: the read-ahead bound, the sends,
// the counts of bytes waiting and acknowledged (which then count encrypted bytes, a few more per
// record of up to 16 KB). An accepted TLS connection runs on the plain socket with a
// TlsServerSession in between; a joining client runs on Qt's TLS socket (TlsChannel), which
// checks the server's certificate against the system's store.
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
    // While listening: takes no connection for nMs (they wait in the system's backlog).
    void PauseListening(int nMs) { listener_.Pause(nMs); }
    // Takes the connection of a request identifier from ConnectionRequest.
    bool Accept(qintptr id);
    // Closes the connection of a request identifier without taking it.
    static void Reject(qintptr id) { SocketDescriptor::Close(id); }
    // Keep-alive probes: the transport alone notices an idle peer that vanished.
    static void ApplyTimeouts(qintptr fd, const LinkTimeouts& timeouts) {
        SocketDescriptor::ApplyTimeouts(fd, timeouts);
    }

    void SetRemoteHost(const std::string& szHost) { szRemoteHost_ = szHost; }
    void SetRemotePort(int nPort) { nRemotePort_ = nPort; }
    // Starts connecting to the remote host and port and returns at once; State tells how.
    void Connect();

    State GetState() const;
    // Same as GetState() == State::Connected (a connected socket never listens), but cheaper:
    // it is asked before every send.
    bool IsConnected() const {
        return bUp_ && !bPeerGone_ && active_->state() == QAbstractSocket::ConnectedState;
    }

    // Timeouts and TLS for the connections from now on; the settings outlive the socket.
    void SetSettings(const LinkSettings* settings) { settings_ = settings; }
    // Whether the current connection is encrypted.
    bool Encrypted() const;
    // The certificate of the last TLS join, when it was not simply taken (see TlsChannel).
    std::optional<CertificateNote> CertificateQuestion() const;

    // Every byte that has arrived and was not read yet, one character per byte.
    std::string ReadAll();
    // At most nMax of those bytes.
    std::string Read(qint64 nMax);
    qint64 BytesAvailable() const;
    // Hands the whole text, then szEnd, to the connection's send buffer, which is written out as
    // events run. With a pump set, sends made during its work are gathered and handed to the
    // system in one piece, in order, before events run and when the work ends.
    void Send(std::string_view szText, std::string_view szEnd = {});
    void SetPump(EventPump* pump) { sender_.SetPump(pump); }
    // Hands the gathered sends to the system as far as it takes them now.
    void HandOver();
    // Bytes handed to Send that the system has not taken yet, gathered ones included.
    qint64 BytesToWrite() const;
    // A cheap test that is false only when BytesToWrite is at most nBytes.
    bool MayHoldMoreThan(qint64 nBytes) const { return sender_.MayHoldMoreThan(nBytes); }
    // Hands the system as much of the send buffer as it takes now, without waiting.
    void Flush();
    // Bytes of this object's connections that the peer has acknowledged: what was handed to the
    // system minus what still waits there. It grows while the peer reads.
    qint64 Acknowledged() const;

    QAbstractSocket::SocketError LastError() const { return lastError_; }
    QString LastErrorString() const { return szLastError_; }

Q_SIGNALS:
    void ConnectionRequest(qintptr id);
    // An accepted connection that had to show what it is first (plain or TLS, on a port that
    // serves both) is now up: only from here on can it be written to or refused.
    void Up();
    void DataArrival(qint64 nBytes);
    void PeerClosed();

private:
    void Watch(QTcpSocket& socket);
    void OnConnected();
    void OnStateChanged(QAbstractSocket::SocketState state);
    void OnError(QAbstractSocket::SocketError error);
    // The first byte of an accepted connection has decided.
    void OnOpening(bool bTls);
    bool TakeDescriptor(qintptr fd, bool bUp = true);
    // An accepted TLS connection: reads what its session may take, goes on with the handshake
    // and decrypts, up to the read-ahead bound. Tells of the handshake's end, and of new bytes
    // when bTell (not while the owner reads them).
    void PullTls(bool bTell);
    // Hands what the session has for the peer, beside the records of sends, to the system.
    void SendTlsOutput();
    // Says goodbye to a TLS peer and forgets the session.
    void EndTls();
    TlsChannel& Tls();
    bool IsTls() const { return active_ != &socket_; }
    // Bytes the current connection's socket holds that the system has not taken.
    qint64 QueuedInSocket() const { return SocketSender::Queued(*active_, IsTls()); }
    void ReportPeerGone();
    void OnSilent();
    // Records why the socket could not listen or connect.
    void Fail(QAbstractSocket::SocketError error, const QString& szWhy);

    QTcpSocket socket_;
    // The socket of the current connection: socket_, or the TLS channel's.
    QTcpSocket* active_ = &socket_;
    std::unique_ptr<TlsChannel> tls_;
    // The TLS of an accepted connection, and what it has decrypted that was not read yet (from
    // nPlainAt_ on).
    std::unique_ptr<TlsServerSession> serverTls_;
    std::string szPlainIn_;
    std::size_t nPlainAt_ = 0;
    QTimer serverHandshake_;
    OpeningGate gate_;
    SilenceWatch silence_;
    const LinkSettings* settings_ = nullptr;
    // Connected and, where it applies, decided plain or secured: sends and reads may go.
    bool bUp_ = false;
    TcpListener listener_;
    SocketSender sender_;
    int nLocalPort_ = 0;
    std::string szRemoteHost_;
    int nRemotePort_ = 0;
    bool bWasConnected_ = false;
    bool bPeerGone_ = false;
    bool bClosingLocally_ = false;
    // Counts the connections this object has carried; a PeerClosed for an earlier one is
    // dropped.
    quint64 nConnection_ = 0;
    QAbstractSocket::SocketError lastError_ = QAbstractSocket::UnknownSocketError;
    QString szLastError_;
};

} // namespace zaplo
