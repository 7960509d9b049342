// SPDX-License-Identifier: MIT
#include "net/TcpSocket.h"

#include "net/LinkSettings.h"
#include "net/SocketDescriptor.h"
#include "net/TlsChannel.h"
#include "net/TlsServerContext.h"
#include "net/TlsServerSession.h"

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
    serverHandshake_.setSingleShot(true);
    // A peer that starts a handshake and never ends it holds its slot no longer than this.
    connect(&serverHandshake_, &QTimer::timeout, this, [this] {
        socket_.abort();
        if (!bPeerGone_) {
            ReportPeerGone();
        }
    });
}

void TcpSocket::Watch(QTcpSocket& socket) {
    // Only the current connection's socket speaks; the other one may still report its close.
    QTcpSocket* watched = &socket;
    connect(watched, &QTcpSocket::readyRead, this, [this, watched] {
        if (watched == active_ && serverTls_) {
            PullTls(true);
        } else if (watched == active_ && bUp_) {
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
    return (IsTls() || serverTls_) && bUp_;
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
    EndTls();
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

bool TcpSocket::TakeDescriptor(qintptr fd, bool bUp) {
    if (!active_->setSocketDescriptor(fd)) {
        Fail(active_->error(), active_->errorString());
        Reject(fd);
        return false;
    }
    active_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    bUp_ = bUp;
    return true;
}

void TcpSocket::OnOpening(bool bTls) {
    if (bTls) {
        serverTls_ = std::make_unique<TlsServerSession>(settings_->ServerContext());
        if (serverTls_->GetPhase() == TlsServerSession::Phase::Failed) {
            Fail(QAbstractSocket::SslInternalError, QString::fromStdString(serverTls_->Error()));
            serverTls_.reset();
            Reject(gate_.Release());
            ReportPeerGone();
            return;
        }
        if (!TakeDescriptor(gate_.Release(), false)) {
            serverTls_.reset();
            ReportPeerGone();
            return;
        }
        serverHandshake_.start(settings_->timeouts.nHandshakeMs);
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
    if (serverTls_) {
        return Read(BytesAvailable());
    }
    if (!bUp_ || active_->bytesAvailable() <= 0) {
        return {};
    }
    const QByteArray data = active_->readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

std::string TcpSocket::Read(qint64 nMax) {
    const qint64 nBytes = std::min(BytesAvailable(), nMax);
    if (nBytes <= 0) {
        return {};
    }
    if (serverTls_) {
        const auto nTake = static_cast<std::size_t>(nBytes);
        std::string szData = szPlainIn_.substr(nPlainAt_, nTake);
        nPlainAt_ += nTake;
        if (nPlainAt_ == szPlainIn_.size()) {
            szPlainIn_.clear();
            nPlainAt_ = 0;
        } else if (nPlainAt_ >= static_cast<std::size_t>(kReadAhead)) {
            // Keeps the buffer within twice the bound while the reader takes it in pieces.
            szPlainIn_.erase(0, nPlainAt_);
            nPlainAt_ = 0;
        }
        // What waits undecrypted behind the bound comes up now: no new arrival will say so.
        PullTls(false);
        return szData;
    }
    std::string szData(static_cast<std::size_t>(nBytes), '\0');
    const qint64 nRead = active_->read(szData.data(), nBytes);
    szData.resize(static_cast<std::size_t>(std::max<qint64>(nRead, 0)));
    return szData;
}

qint64 TcpSocket::BytesAvailable() const {
    if (!bUp_) {
        return 0;
    }
    if (serverTls_) {
        return static_cast<qint64>(szPlainIn_.size() - nPlainAt_);
    }
    return active_->bytesAvailable();
}

void TcpSocket::PullTls(bool bTell) {
    TlsServerSession& tls = *serverTls_;
    const bool bWasOpen = tls.GetPhase() == TlsServerSession::Phase::Open;
    const auto nBound = static_cast<std::size_t>(kReadAhead);
    std::string szCipher;
    while (true) {
        qint64 nFed = 0;
        if (tls.Room() > 0 && socket_.bytesAvailable() > 0) {
            szCipher.resize(
                std::min(tls.Room(), static_cast<std::size_t>(socket_.bytesAvailable())));
            nFed = std::max<qint64>(
                socket_.read(szCipher.data(), static_cast<qint64>(szCipher.size())), 0);
            tls.Feed(std::string_view(szCipher).substr(0, static_cast<std::size_t>(nFed)));
        }
        tls.Advance(szPlainIn_, nPlainAt_ + nBound);
        // Nothing new went in, so nothing more can come out; or the bound is reached.
        if (nFed == 0 || tls.GetPhase() == TlsServerSession::Phase::Failed ||
            tls.GetPhase() == TlsServerSession::Phase::Closed ||
            szPlainIn_.size() - nPlainAt_ >= nBound) {
            break;
        }
    }
    // Handshake answers, and the alert of a failed one.
    SendTlsOutput();
    switch (tls.GetPhase()) {
    case TlsServerSession::Phase::Handshaking:
        return;
    case TlsServerSession::Phase::Failed:
        Fail(QAbstractSocket::SslHandshakeFailedError, QString::fromStdString(tls.Error()));
        socket_.abort();
        if (!bPeerGone_) {
            ReportPeerGone();
        }
        return;
    case TlsServerSession::Phase::Closed:
        // The peer said it is done: what it sent before stays readable.
        if (!bPeerGone_) {
            ReportPeerGone();
        }
        break;
    case TlsServerSession::Phase::Open:
        break;
    }
    if (!bWasOpen) {
        serverHandshake_.stop();
        bUp_ = true;
        const quint64 nConnection = nConnection_;
        Q_EMIT Up();
        if (nConnection != nConnection_ || !IsConnected()) {
            return; // refused by whoever heard of it
        }
    }
    if (bTell && BytesAvailable() > 0) {
        Q_EMIT DataArrival(BytesAvailable());
    }
}

void TcpSocket::SendTlsOutput() {
    std::string szOut;
    if (serverTls_->TakeOutgoing(szOut) > 0) {
        sender_.Write(socket_, szOut);
    }
}

void TcpSocket::EndTls() {
    if (!serverTls_) {
        return;
    }
    serverHandshake_.stop();
    if (socket_.state() == QAbstractSocket::ConnectedState) {
        serverTls_->Shutdown();
        SendTlsOutput();
    }
    serverTls_.reset();
    szPlainIn_.clear();
    nPlainAt_ = 0;
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
    sender_.HandOver(*active_, IsTls(), IsConnected(), serverTls_.get());
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
