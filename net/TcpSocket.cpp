// SPDX-License-Identifier: MIT
#include "net/TcpSocket.h"

#include "net/EventPump.h"
#include "net/LinkSettings.h"
#include "net/TlsChannel.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QSslSocket>

#include <algorithm>
#include <cerrno>

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zaplo {

namespace {

// Gathered sends keep their buffer between batches up to this size.
constexpr std::size_t kKeptCapacity = std::size_t{256} * 1024;

// Writes as much of szData as the system takes without waiting; returns how much that was.
std::size_t SendNow(qintptr fd, std::string_view szData) {
    std::size_t nDone = 0;
    while (fd >= 0 && nDone < szData.size()) {
        const ssize_t n = ::send(static_cast<int>(fd), szData.data() + nDone, szData.size() - nDone,
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            nDone += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return nDone;
}

bool PortInRange(int nPort) {
    return nPort >= 0 && nPort <= 65535;
}

} // namespace

// Keep-alive probes on an idle link. No TCP user timeout: Linux would also end a live link whose
// slow reader keeps its window shut for that long (SilenceWatch does that job instead).
void TcpSocket::ApplyTimeouts(qintptr fd, const LinkTimeouts& timeouts) {
    const int s = static_cast<int>(fd);
    const int nOn = 1;
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &nOn, sizeof nOn);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &timeouts.nIdleS, sizeof timeouts.nIdleS);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &timeouts.nIntervalS, sizeof timeouts.nIntervalS);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &timeouts.nProbes, sizeof timeouts.nProbes);
}

TcpSocket::TcpSocket(QObject* parent) : QObject(parent) {
    socket_.setReadBufferSize(kReadAhead);
    connect(&socket_, &QAbstractSocket::bytesWritten, this, [this](qint64 nBytes) {
        if (!IsTls()) {
            nHandedOver_ += nBytes;
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
                nHandedOver_ += nBytes;
            }
        });
        Watch(ssl);
        connect(tls_.get(), &TlsChannel::Ready, this, [this] {
            bUp_ = true;
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
    if (bDeferred_ && pump_ != nullptr) {
        pump_->Forget(this);
    }
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
    nHeld_ = 0;
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
        lastError_ = QAbstractSocket::SocketAddressNotAvailableError;
        szLastError_ = QStringLiteral("invalid listen address");
        return false;
    }
    if (!PortInRange(nLocalPort_)) {
        lastError_ = QAbstractSocket::SocketAddressNotAvailableError;
        szLastError_ = QStringLiteral("port out of range");
        return false;
    }
    if (!listener_.Listen(address, static_cast<quint16>(nLocalPort_))) {
        lastError_ = listener_.LastError();
        szLastError_ = listener_.LastErrorString();
        return false;
    }
    return true;
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
        lastError_ = active_->error();
        szLastError_ = active_->errorString();
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
    }
}

void TcpSocket::Reject(qintptr id) {
    ::close(static_cast<int>(id));
}

void TcpSocket::Connect() {
    Close();
    if (!PortInRange(nRemotePort_) || nRemotePort_ == 0) {
        lastError_ = QAbstractSocket::SocketAddressNotAvailableError;
        szLastError_ = QStringLiteral("port out of range");
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
    pending_.append(szText);
    pending_.append(szEnd);
    if (pump_ != nullptr && pump_->InWork()) {
        if (!bDeferred_) {
            bDeferred_ = true;
            pump_->Defer(this);
        }
        return;
    }
    HandOver();
}

void TcpSocket::HandOver() {
    bDeferred_ = false;
    if (pending_.empty()) {
        return;
    }
    if (IsTls() && IsConnected()) {
        // Encrypted at once and handed to the system as far as it takes it.
        active_->write(pending_.data(), static_cast<qint64>(pending_.size()));
        active_->flush();
    } else if (IsConnected()) {
        std::string_view szRest = pending_;
        if (socket_.bytesToWrite() == 0) {
            // Nothing waits in the socket's own buffer, so the system may take the bytes
            // straight from here without changing their order; that spares a copy.
            const std::size_t nSent = SendNow(socket_.socketDescriptor(), szRest);
            // Qt reports no bytesWritten for these: they count as handed over here.
            nHandedOver_ += static_cast<qint64>(nSent);
            szRest.remove_prefix(nSent);
        }
        if (!szRest.empty()) {
            // What the system does not take now waits in the socket, which also deals with
            // any error.
            socket_.write(szRest.data(), static_cast<qint64>(szRest.size()));
        }
    }
    nHeld_ = QueuedInSocket();
    if (settings_ != nullptr) {
        silence_.Sent(active_->socketDescriptor(), settings_->timeouts.nUserTimeoutMs);
    }
    pending_.clear();
    if (pending_.capacity() > kKeptCapacity) {
        pending_ = std::string();
    }
}

qint64 TcpSocket::QueuedInSocket() const {
    if (IsTls()) {
        const auto& ssl = static_cast<const QSslSocket&>(*active_);
        return ssl.bytesToWrite() + ssl.encryptedBytesToWrite();
    }
    return socket_.bytesToWrite();
}

qint64 TcpSocket::BytesToWrite() const {
    return QueuedInSocket() + static_cast<qint64>(pending_.size());
}

void TcpSocket::Flush() {
    HandOver();
    if (active_->state() == QAbstractSocket::ConnectedState) {
        active_->flush();
    }
    nHeld_ = QueuedInSocket();
}

qint64 TcpSocket::Acknowledged() const {
    int nQueued = 0;
    const qintptr fd = active_->socketDescriptor();
    if (fd < 0 || ::ioctl(static_cast<int>(fd), SIOCOUTQ, &nQueued) != 0) {
        nQueued = 0;
    }
    return nHandedOver_ - nQueued;
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
