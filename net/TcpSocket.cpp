#include "net/TcpSocket.h"

#include <QHostAddress>
#include <QMetaObject>

#include <algorithm>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace zaplo {

namespace {

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
    socket_.abort();
}

void TcpSocket::Close() {
    bClosingLocally_ = true;
    listener_.Close();
    if (socket_.state() == QAbstractSocket::ConnectedState) {
        socket_.flush();
    }
    socket_.abort();
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

void TcpSocket::Send(std::string_view szText) {
    if (socket_.state() != QAbstractSocket::ConnectedState || szText.empty()) {
        return;
    }
    socket_.write(szText.data(), static_cast<qint64>(szText.size()));
}

qint64 TcpSocket::BytesToWrite() const {
    return socket_.bytesToWrite();
}

void TcpSocket::Flush() {
    if (socket_.state() == QAbstractSocket::ConnectedState) {
        socket_.flush();
    }
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
