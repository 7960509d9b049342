// SPDX-License-Identifier: MIT
#include "net/TlsChannel.h"

#include "net/LinkSettings.h"
#include "net/TcpSocket.h"

namespace zaplo {

TlsChannel::TlsChannel(QObject* parent) : QObject(parent) {
    socket_.setReadBufferSize(TcpSocket::kReadAhead);
    handshake_.setSingleShot(true);
    // A peer that starts a handshake and never ends it holds its slot no longer than this.
    connect(&handshake_, &QTimer::timeout, this, [this] { socket_.abort(); });
    connect(&socket_, &QSslSocket::sslErrors, this, &TlsChannel::OnSslErrors);
    connect(&socket_, &QSslSocket::encrypted, this, &TlsChannel::OnEncrypted);
}

void TlsChannel::Reset() {
    handshake_.stop();
    bChecked_ = false;
    bSecured_ = false;
}

void TlsChannel::StartClient(const std::string& szHost, int nPort, const LinkSettings& settings) {
    Reset();
    settings_ = &settings;
    bUsed_ = true;
    note_.reset();
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    socket_.setSslConfiguration(config);
    handshake_.start(settings.timeouts.nHandshakeMs);
    socket_.connectToHostEncrypted(QString::fromStdString(szHost), static_cast<quint16>(nPort));
}

void TlsChannel::OnSslErrors(const QList<QSslError>& errors) {
    if (settings_ == nullptr) {
        return; // the handshake fails
    }
    CertificateNote note;
    if (settings_->Check(socket_.peerCertificate(), errors, note) ==
        CertificateTrust::Verdict::Accept) {
        bChecked_ = true;
        socket_.ignoreSslErrors();
        return;
    }
    // Not ignored: the handshake fails, and the owner finds the reason here.
    note_ = note;
}

void TlsChannel::OnEncrypted() {
    if (!bChecked_ && settings_ != nullptr) {
        // The system's store vouched for it; a pinned fingerprint still has its say.
        CertificateNote note;
        if (settings_->Check(socket_.peerCertificate(), {}, note) !=
            CertificateTrust::Verdict::Accept) {
            note_ = note;
            socket_.abort();
            return;
        }
    }
    handshake_.stop();
    bSecured_ = true;
    Q_EMIT Ready();
}

} // namespace zaplo
