#include "net/TcpSocket.h"

#include "net/EventPump.h"

#include <QHostAddress>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>

#include <linux/sockios.h>
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

TcpSocket::TcpSocket(QObject* parent) : QObject(parent) {
    socket_.setReadBufferSize(kReadAhead);
    connect(&socket_, &QAbstractSocket::bytesWritten, this,
            [this](qint64 nBytes) { nHandedOver_ += nBytes; });
    connect(&socket_, &QTcpSocket::readyRead, this,
            [this] { Q_EMIT DataArrival(socket_.bytesAvailable()); });
    connect(&socket_, &QAbstractSocket::stateChanged, this, &TcpSocket::OnStateChanged);
    connect(&socket_, &QAbstractSocket::errorOccurred, this, &TcpSocket::OnError);
    connect(&listener_, &TcpListener::ConnectionRequest, this, &TcpSocket::ConnectionRequest);
}

TcpSocket::~TcpSocket() {
    // Going away is a local close: no event for it.
    bClosingLocally_ = true;
    if (bDeferred_ && pump_ != nullptr) {
        pump_->Forget(this);
    }
    socket_.abort();
}

void TcpSocket::Close() {
    bClosingLocally_ = true;
    listener_.Close();
    HandOver();
    if (socket_.state() == QAbstractSocket::ConnectedState) {
        socket_.flush();
    }
    socket_.abort();
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
    if (socket_.state() == QAbstractSocket::ConnectedState) {
        return socket_.localPort();
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
    if (!socket_.setSocketDescriptor(id)) {
        lastError_ = socket_.error();
        szLastError_ = socket_.errorString();
        Reject(id);
        return false;
    }
    bWasConnected_ = true;
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
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
    socket_.connectToHost(QString::fromStdString(szRemoteHost_),
                          static_cast<quint16>(nRemotePort_));
}

TcpSocket::State TcpSocket::GetState() const {
    if (listener_.IsListening()) {
        return State::Listening;
    }
    if (bPeerGone_) {
        return State::Closing;
    }
    switch (socket_.state()) {
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        return State::Connecting;
    case QAbstractSocket::ConnectedState:
        return State::Connected;
    case QAbstractSocket::ClosingState:
        return State::Closing;
    default:
        return State::Closed;
    }
}

std::string TcpSocket::ReadAll() {
    if (socket_.bytesAvailable() <= 0) {
        return {};
    }
    const QByteArray data = socket_.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

std::string TcpSocket::Read(qint64 nMax) {
    const qint64 nBytes = std::min(socket_.bytesAvailable(), nMax);
    if (nBytes <= 0) {
        return {};
    }
    std::string szData(static_cast<std::size_t>(nBytes), '\0');
    const qint64 nRead = socket_.read(szData.data(), nBytes);
    szData.resize(static_cast<std::size_t>(std::max<qint64>(nRead, 0)));
    return szData;
}

qint64 TcpSocket::BytesAvailable() const {
    return socket_.bytesAvailable();
}

void TcpSocket::Send(std::string_view szText, std::string_view szEnd) {
    if (socket_.state() != QAbstractSocket::ConnectedState || (szText.empty() && szEnd.empty())) {
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
    if (socket_.state() == QAbstractSocket::ConnectedState) {
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
    nHeld_ = socket_.bytesToWrite();
    pending_.clear();
    if (pending_.capacity() > kKeptCapacity) {
        pending_ = std::string();
    }
}

qint64 TcpSocket::BytesToWrite() const {
    return socket_.bytesToWrite() + static_cast<qint64>(pending_.size());
}

void TcpSocket::Flush() {
    HandOver();
    if (socket_.state() == QAbstractSocket::ConnectedState) {
        socket_.flush();
    }
    nHeld_ = socket_.bytesToWrite();
}

qint64 TcpSocket::Acknowledged() const {
    int nQueued = 0;
    const qintptr fd = socket_.socketDescriptor();
    if (fd < 0 || ::ioctl(static_cast<int>(fd), SIOCOUTQ, &nQueued) != 0) {
        nQueued = 0;
    }
    return nHandedOver_ - nQueued;
}

void TcpSocket::OnStateChanged(QAbstractSocket::SocketState state) {
    if (state == QAbstractSocket::ConnectedState) {
        if (!bWasConnected_) {
            socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        }
        bWasConnected_ = true;
        return;
    }
    if (state != QAbstractSocket::UnconnectedState || !bWasConnected_ || bClosingLocally_) {
        return;
    }
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

void TcpSocket::OnError(QAbstractSocket::SocketError error) {
    lastError_ = error;
    szLastError_ = socket_.errorString();
}

} // namespace zaplo
