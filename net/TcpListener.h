// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace zaplo {

// The listening half of a TcpSocket, on a plain listening descriptor. Every incoming connection
// is handed on as a request identifier (the accepted descriptor), so the program decides which
// slot takes it.
//
// When the process has no descriptor left, the waiting connection is shed with the help of a
// spare descriptor kept for the purpose: the client sees its connection closed at once instead
// of hanging, and the listener does not spin on a connection it cannot take. If even that is
// not possible, accepting pauses for a moment.
class TcpListener : public QObject {
    Q_OBJECT
public:
    // Pause before accepting again after a failure that shedding could not get past.
    static constexpr int kResumeDelayMs = 100;

    explicit TcpListener(QObject* parent = nullptr);
    ~TcpListener() override;

    // Listens on address:nPort (QHostAddress::Any: every address, IPv6 and IPv4).
    bool Listen(const QHostAddress& address, quint16 nPort);
    void Close();
    bool IsListening() const { return fd_ >= 0; }
    // Takes no connection for nMs: they wait in the system's backlog meanwhile.
    void Pause(int nMs) { PauseAccepting(nMs); }
    // The port actually listened on; 0 when not listening.
    quint16 ServerPort() const;

    QAbstractSocket::SocketError LastError() const { return lastError_; }
    QString LastErrorString() const { return szLastError_; }

Q_SIGNALS:
    void ConnectionRequest(qintptr id);

private:
    void OnReadable();
    bool ShedOne();
    void PauseAccepting(int nMs = kResumeDelayMs);
    void SetError(int nErrno);

    int fd_ = -1;
    int spareFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QAbstractSocket::SocketError lastError_ = QAbstractSocket::UnknownSocketError;
    QString szLastError_;
};

} // namespace zaplo
