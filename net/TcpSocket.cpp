// SPDX-License-Identifier: MIT
#include "net/TcpSocket.h"

#include "net/LinkSettings.h"
#include "net/SocketDescriptor.h"
#include "net/TlsChannel.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QSslSocket>

#include <algorithm>

namespace zaplo {

namespace {

bool PortInRange(int nPort) {
    return nPort >= 0 && nPort <= 65535;
}

} // namespace

TcpSocket::TcpSocket(QObject* parent) : QObject(parent) {
    socket_.setReadBufferSize(kReadAhead);
    connect(&socket_, &QAbstractSocket::bytesWritten, this, [this](qint64 nBytes) {
        if (!IsTls()) {
            sender_.CountWritten(nBytes);
        }
    });
    Watch(socket_);
    connect(&listener_, &TcpListener::ConnectionRequest, this, &TcpSocket::ConnectionRequest);
    connect(&gate_, &OpeningGate::Decided, this, &TcpSocket::OnOpening);
    connect(&gate_, &OpeningGate::Closed, this, &TcpSocket::ReportPeerGone);
    silence_.heldHere = [this] { return BytesToWrite(); };
    connect(&silence_, &SilenceWatch::Vanished, this, &TcpSocket::OnSilent);
}

void TcpSocket::Watch(QTcpSocket& socket) {
    // Only the current connection's socket speaks; the other one may still report its close.
    QTcpSocket* watched = &socket;
    connect(watched, &QTcpSocket::readyRead, this, [this, watched] {
        if (watched == active_ && bUp_) {
            Q_EMIT DataArrival(active_->bytesAvailable());
        }
    });
    connect(watched, &QAbstractSocket::connected, this, [this, watched] {
        if (watched == active_) {
            OnConnected();
        }
    });
    connect(watched, &QAbstractSocket::stateChanged, this,
            [this, watched](QAbstractSocket::SocketState state) {
                if (watched == active_) {
                    OnStateChanged(state);
                }
            });
    connect(watched, &QAbstractSocket::errorOccurred, this,
            [this, watched](QAbstractSocket::SocketError error) {
                if (watched == active_) {
                    OnError(error);
                }
            });
}

TlsChannel& TcpSocket::Tls() {
    if (tls_ && tls_->Used()) {
        // A TLS socket serves one connection only: the next one gets a fresh channel. The used
        // one may still be in its own signal further up the stack, so it goes later; what it
        // still reports is not the current connection's and is ignored.
        tls_->disconnect(this);
        tls_->Socket().disconnect(this);
        tls_.release()->deleteLater();
    }
    if (!tls_) {
        tls_ = std::make_unique<TlsChannel>();
        QSslSocket& ssl = tls_->Socket();
        connect(&ssl, &QSslSocket::encryptedBytesWritten, this, [this](qint64 nBytes) {
            if (IsTls()) {
                sender_.CountWritten(nBytes);
            }
        });
        Watch(ssl);
        connect(tls_.get(), &TlsChannel::Ready, this, [this] {
            bUp_ = true;
            Q_EMIT Up();
            if (!IsConnected()) {
                return; // refused by whoever heard of it
            }
            if (active_->bytesAvailable() > 0) {
                Q_EMIT DataArrival(active_->bytesAvailable());
            }
        });
    }
    return *tls_;
}

bool TcpSocket::Encrypted() const {
    return IsTls() && bUp_;
}

std::optional<CertificateNote> TcpSocket::CertificateQuestion() const {
    return tls_ ? tls_->Note() : std::nullopt;
}

TcpSocket::~TcpSocket() {
    // Going away is a local close: no event for it.
    bClosingLocally_ = true;
    sender_.Forget(*this);
    gate_.Stop();
    if (tls_) {
        tls_->Socket().abort();
    }
    socket_.abort();
}

void TcpSocket::Close() {
    bClosingLocally_ = true;
    listener_.Close();
    gate_.Stop();
    HandOver();
    if (active_->state() == QAbstractSocket::ConnectedState) {
        active_->flush();
    }
    active_->abort();
    silence_.Stop();
    if (tls_) {
        tls_->Reset();
    }
    active_ = &socket_;
    bUp_ = false;
    sender_.SetHeld(0);
    bClosingLocally_ = false;
    bWasConnected_ = false;
    bPeerGone_ = false;
    ++nConnection_;
}

int TcpSocket::LocalPort() const {
    if (listener_.IsListening()) {
        return listener_.ServerPort();
    }
    if (active_->state() == QAbstractSocket::ConnectedState) {
        return active_->localPort();
    }
    return nLocalPort_;
}

bool TcpSocket::Listen(const std::string& szHost) {
    Close();
    QHostAddress address(QHostAddress::Any);
    if (!szHost.empty() && !address.setAddress(QString::fromStdString(szHost))) {
        Fail(QAbstractSocket::SocketAddressNotAvailableError,
             QStringLiteral("invalid listen address"));
        return false;
    }
    if (!PortInRange(nLocalPort_)) {
        Fail(QAbstractSocket::SocketAddressNotAvailableError, QStringLiteral("port out of range"));
        return false;
    }
    if (!listener_.Listen(address, static_cast<quint16>(nLocalPort_))) {
        Fail(listener_.LastError(), listener_.LastErrorString());
        return false;
    }
    return true;
}

void TcpSocket::Fail(QAbstractSocket::SocketError error, const QString& szWhy) {
    lastError_ = error;
    szLastError_ = szWhy;
}

bool TcpSocket::Accept(qintptr id) {
    Close();
    bWasConnected_ = true;
    if (settings_ != nullptr) {
        ApplyTimeouts(id, settings_->timeouts);
        if (settings_->ServesTls()) {
            // Nobody reads the descriptor until its first byte has told which it is.
            gate_.Watch(id, settings_->timeouts.nOpeningMs);
            return true;
        }
    }
    return TakeDescriptor(id);
}

bool TcpSocket::TakeDescriptor(qintptr fd) {
    if (!active_->setSocketDescriptor(fd)) {
        Fail(active_->error(), active_->errorString());
        Reject(fd);
        return false;
    }
    active_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    bUp_ = true;
    return true;
}

void TcpSocket::OnOpening(bool bTls) {
    if (bTls) {
        const qintptr fd = gate_.Release();
        TlsChannel& tls = Tls();
        active_ = &tls.Socket();
        if (!tls.StartServer(fd, *settings_)) {
            Reject(fd);
            ReportPeerGone();
            return;
        }
        active_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return;
    }
    if (settings_->RequiresTls()) {
        // Told how to join, then let go; the slot is free once the gate has closed.
        gate_.Refuse(LinkSettings::RefusalLine(), LinkSettings::kRefusalLingerMs);
        return;
    }
    if (!TakeDescriptor(gate_.Release())) {
        ReportPeerGone();
        return;
    }
    Q_EMIT Up();
}

void TcpSocket::Connect() {
    Close();
    if (!PortInRange(nRemotePort_) || nRemotePort_ == 0) {
        Fail(QAbstractSocket::SocketAddressNotAvailableError, QStringLiteral("port out of range"));
        return;
    }
    if (settings_ != nullptr && settings_->JoinsTls()) {
        TlsChannel& tls = Tls();
        active_ = &tls.Socket();
        tls.StartClient(szRemoteHost_, nRemotePort_, *settings_);
        return;
    }
    socket_.connectToHost(QString::fromStdString(szRemoteHost_),
                          static_cast<quint16>(nRemotePort_));
}

TcpSocket::State TcpSocket::GetState() const {
    if (listener_.IsListening()) {
        return State::Listening;
    }
    if (gate_.Busy()) {
        return gate_.Refusing() ? State::Closing : State::Connecting;
    }
    if (bPeerGone_) {
        return State::Closing;
    }
    switch (active_->state()) {
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        return State::Connecting;
    case QAbstractSocket::ConnectedState:
        return bUp_ ? State::Connected : State::Connecting;
    case QAbstractSocket::ClosingState:
        return State::Closing;
    default:
        return State::Closed;
    }
}

std::string TcpSocket::ReadAll() {
    if (!bUp_ || active_->bytesAvailable() <= 0) {
        return {};
    }
    const QByteArray data = active_->readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

std::string TcpSocket::Read(qint64 nMax) {
    const qint64 nBytes = bUp_ ? std::min(active_->bytesAvailable(), nMax) : 0;
    if (nBytes <= 0) {
        return {};
    }
    std::string szData(static_cast<std::size_t>(nBytes), '\0');
    const qint64 nRead = active_->read(szData.data(), nBytes);
    szData.resize(static_cast<std::size_t>(std::max<qint64>(nRead, 0)));
    return szData;
}

qint64 TcpSocket::BytesAvailable() const {
    return bUp_ ? active_->bytesAvailable() : 0;
}

void TcpSocket::Send(std::string_view szText, std::string_view szEnd) {
    if (!IsConnected() || (szText.empty() && szEnd.empty())) {
        return;
    }
    if (sender_.Gather(*this, szText, szEnd)) {
        HandOver();
    }
}

void TcpSocket::HandOver() {
    sender_.HandOver(*active_, IsTls(), IsConnected());
    if (settings_ != nullptr) {
        silence_.Sent(active_->socketDescriptor(), settings_->timeouts.nUserTimeoutMs);
    }
}

qint64 TcpSocket::BytesToWrite() const {
    return QueuedInSocket() + static_cast<qint64>(sender_.Gathered());
}

void TcpSocket::Flush() {
    HandOver();
    if (active_->state() == QAbstractSocket::ConnectedState) {
        active_->flush();
    }
    sender_.SetHeld(QueuedInSocket());
}

qint64 TcpSocket::Acknowledged() const {
    return sender_.HandedOver() - SocketDescriptor::Unacknowledged(active_->socketDescriptor());
}

void TcpSocket::OnConnected() {
    // A connection this socket made (the server's side is set up on Accept); a TLS one is up
    // once the channel says so.
    active_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (settings_ != nullptr) {
        ApplyTimeouts(active_->socketDescriptor(), settings_->timeouts);
    }
    bUp_ = !IsTls();
}

void TcpSocket::OnStateChanged(QAbstractSocket::SocketState state) {
    if (state == QAbstractSocket::ConnectedState) {
        bWasConnected_ = true;
        return;
    }
    if (state != QAbstractSocket::UnconnectedState || !bWasConnected_ || bClosingLocally_) {
        return;
    }
    ReportPeerGone();
}

void TcpSocket::ReportPeerGone() {
    bWasConnected_ = false;
    bPeerGone_ = true;
    // Raised from a clean stack: Qt is still inside its own close handling here, and the
    // owner may close the socket or take a new connection on it in response.
    const quint64 nConnection = nConnection_;
    QMetaObject::invokeMethod(
        this,
        [this, nConnection] {
            if (nConnection == nConnection_ && bPeerGone_) {
                Q_EMIT PeerClosed();
            }
        },
        Qt::QueuedConnection);
}

void TcpSocket::OnSilent() {
    // The peer answered nothing while data waited for it: gone, as if its system had reset.
    lastError_ = QAbstractSocket::SocketTimeoutError;
    szLastError_ = QStringLiteral("The peer stopped answering");
    active_->abort();
    if (!bPeerGone_) {
        ReportPeerGone();
    }
}

void TcpSocket::OnError(QAbstractSocket::SocketError error) {
    lastError_ = error;
    szLastError_ = active_->errorString();
}

} // namespace zaplo
