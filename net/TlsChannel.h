// SPDX-License-Identifier: MIT
#pragma once

#include "base/CertificateNote.h"

#include <QObject>
#include <QSslSocket>
#include <QTimer>

#include <optional>
#include <string>

namespace zaplo {

class LinkSettings;

// The TLS side of a TcpSocket that joins a server: the QSslSocket it runs on, the bound on its
// handshake, and the decision on the server's certificate (LinkSettings::Check). Secured comes
// once the handshake is done and the certificate taken; a failed or refused handshake closes the
// socket, which its owner sees as the connection's end.
class TlsChannel : public QObject {
    Q_OBJECT
public:
    explicit TlsChannel(QObject* parent = nullptr);

    QSslSocket& Socket() { return socket_; }
    const QSslSocket& Socket() const { return socket_; }

    // Connects to szHost:nPort and checks what the server shows.
    void StartClient(const std::string& szHost, int nPort, const LinkSettings& settings);
    // Before the socket's next connection: the last one's handshake is forgotten.
    void Reset();
    bool Secured() const { return bSecured_; }
    // A connection was started on it: Qt's TLS socket cannot take another one.
    bool Used() const { return bUsed_; }
    // The certificate of the last handshake, when it was not simply taken: to ask the
    // user about (Ask) or why it was refused.
    const std::optional<CertificateNote>& Note() const { return note_; }

Q_SIGNALS:
    void Ready();

private:
    void OnSslErrors(const QList<QSslError>& errors);
    void OnEncrypted();

    QSslSocket socket_;
    QTimer handshake_;
    const LinkSettings* settings_ = nullptr;
    bool bUsed_ = false;
    bool bChecked_ = false;
    bool bSecured_ = false;
    std::optional<CertificateNote> note_;
};

} // namespace zaplo
