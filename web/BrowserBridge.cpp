// SPDX-License-Identifier: MIT
#include "web/BrowserBridge.h"

#include "net/BridgeRegistry.h"
#include "net/core/ReceiveBuffer.h"
#include "web/BrowserSocket.h"

#include <sys/socket.h>

namespace zaplo {

namespace {

constexpr qint64 kMaxLine = static_cast<qint64>(ReceiveBuffer::kMaxLine);

} // namespace

BrowserBridge::BrowserBridge(QWebSocket* browser, BrowserSocket* socket, std::string szKey,
                             BridgeRegistry& bridges, QObject* parent)
    : QObject(parent), browser_(browser), socket_(socket), szKey_(std::move(szKey)),
      bridges_(bridges) {
    browser->setParent(this);
    // The socket goes with its WebSocket.
    socket->setParent(browser);
    // Nothing of the browser is read before the session's side is up.
    socket->Pause();
    browser->setMaxAllowedIncomingFrameSize(static_cast<quint64>(kMaxLine));
    browser->setMaxAllowedIncomingMessageSize(static_cast<quint64>(kMaxLine));
    connect(browser, &QWebSocket::binaryMessageReceived, this, &BrowserBridge::OnBrowserLine);
    connect(browser, &QWebSocket::textMessageReceived, this, [this] { Finish(true); });
    connect(browser, &QWebSocket::bytesWritten, this, [this] {
        if (ToBrowser() < kBrowserMark / 2) {
            ForwardToBrowser();
        }
        CheckDone();
    });
    connect(browser, &QWebSocket::disconnected, this, [this] {
        Finish(false);
        CheckDone();
    });
    session_.setReadBufferSize(kReadAhead);
    connect(&session_, &QTcpSocket::connected, this, &BrowserBridge::OnSessionUp);
    connect(&session_, &QTcpSocket::readyRead, this, [this] { ForwardToBrowser(); });
    connect(&session_, &QTcpSocket::bytesWritten, this, &BrowserBridge::OnSessionWritten);
    connect(&session_, &QTcpSocket::disconnected, this, [this] {
        ForwardToBrowser(true);
        Finish(false);
        CheckDone();
    });
    connect(&session_, &QTcpSocket::errorOccurred, this, [this] {
        ForwardToBrowser(true);
        Finish(false);
        CheckDone();
    });
    closeTimer_.setSingleShot(true);
    connect(&closeTimer_, &QTimer::timeout, this, [this] {
        // Whoever has not taken its close by now is dropped.
        if (browser_) {
            browser_->abort();
        }
        session_.abort();
        CheckDone();
    });
}

BrowserBridge::~BrowserBridge() {
    // The sockets' last signals while they go must not reach a bridge half gone.
    disconnect(&session_, nullptr, this, nullptr);
    if (browser_) {
        disconnect(browser_, nullptr, this, nullptr);
    }
    if (nPort_ != 0) {
        bridges_.Remove(nPort_);
    }
}

bool BrowserBridge::Open(const QHostAddress& session, quint16 nPort, const QSslConfiguration* tls) {
    // The port is this bridge's alone (no address sharing) from now until the socket goes.
    if (!session_.bind(session, 0, QAbstractSocket::DontShareAddress)) {
        Finish(false);
        return false;
    }
    // Small, so a browser that falls behind shows at the server at once.
    const int nReceive = kReceiveBuffer;
    ::setsockopt(static_cast<int>(session_.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &nReceive,
                 sizeof nReceive);
    nPort_ = session_.localPort();
    if (!bridges_.Add(nPort_, szKey_)) {
        nPort_ = 0;
        Finish(false);
        return false;
    }
    if (tls == nullptr) {
        session_.connectToHost(session, nPort);
        return true;
    }
    // The session's own port on this host: its certificate is known, no authority is asked.
    const QSslCertificate own = tls->localCertificate();
    disconnect(&session_, &QTcpSocket::connected, this, &BrowserBridge::OnSessionUp);
    connect(&session_, &QSslSocket::encrypted, this, [this, own] {
        if (session_.peerCertificate() != own) {
            session_.abort();
            return;
        }
        OnSessionUp();
    });
    QSslConfiguration client = QSslConfiguration::defaultConfiguration();
    client.setPeerVerifyMode(QSslSocket::VerifyNone);
    session_.setSslConfiguration(client);
    session_.connectToHostEncrypted(session.toString(), nPort);
    return true;
}

qint64 BrowserBridge::ToBrowser() const {
    return browser_ ? browser_->bytesToWrite() : 0;
}

bool BrowserBridge::BrowserHeld() const {
    return socket_ && socket_->Paused();
}

void BrowserBridge::OnSessionUp() {
    session_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (socket_ && !bFinishing_) {
        socket_->Resume();
    }
}

void BrowserBridge::OnBrowserLine(const QByteArray& line) {
    if (bFinishing_) {
        return;
    }
    // One frame, one line: it cannot hold a line's end, nor be longer than a line may be.
    if (line.size() > kMaxLine || line.contains('\r') || line.contains('\n')) {
        Finish(true);
        return;
    }
    QByteArray wire;
    wire.reserve(line.size() + 2);
    wire += line;
    wire += "\r\n";
    session_.write(wire);
    if (session_.bytesToWrite() > kSessionMark && socket_) {
        // The session takes less than the browser sends: the browser waits, like a TCP peer.
        socket_->Pause();
    }
}

void BrowserBridge::OnSessionWritten() {
    if (!bFinishing_ && socket_ && socket_->Paused() &&
        session_.state() == QAbstractSocket::ConnectedState &&
        session_.bytesToWrite() <= kSessionMark / 2) {
        socket_->Resume();
    }
    CheckDone();
}

void BrowserBridge::ForwardToBrowser(bool bAll) {
    if (!browser_) {
        return;
    }
    // readyRead is not raised again for bytes that wait: read until none are left or the
    // browser has enough to take.
    while (session_.bytesAvailable() > 0 && (bAll || ToBrowser() < kBrowserMark)) {
        const qsizetype nOld = partial_.size();
        partial_ += session_.read(kReadAhead);
        qsizetype nStart = 0;
        qsizetype nEnd = partial_.indexOf("\r\n", nOld > 0 ? nOld - 1 : 0);
        while (nEnd >= 0) {
            browser_->sendBinaryMessage(partial_.mid(nStart, nEnd - nStart));
            nStart = nEnd + 2;
            nEnd = partial_.indexOf("\r\n", nStart);
        }
        partial_.remove(0, nStart);
        if (partial_.size() > kMaxLine + 1) {
            // The session never sends a line that long.
            Finish(false);
            return;
        }
    }
}

void BrowserBridge::Finish(bool bBrowserFault) {
    if (bFinishing_) {
        return;
    }
    bFinishing_ = true;
    if (socket_) {
        socket_->Pause();
    }
    // What the browser said before it went still reaches the session; its leaving is the
    // session's close like any departure.
    if (session_.state() != QAbstractSocket::UnconnectedState) {
        session_.disconnectFromHost();
    }
    if (browser_ && browser_->state() != QAbstractSocket::UnconnectedState) {
        browser_->close(bBrowserFault ? QWebSocketProtocol::CloseCodeProtocolError
                                      : QWebSocketProtocol::CloseCodeNormal);
    }
    closeTimer_.start(kCloseMs);
}

void BrowserBridge::CheckDone() {
    if (bDone_ || !bFinishing_) {
        return;
    }
    const bool bBrowserClosed = !browser_ || browser_->state() == QAbstractSocket::UnconnectedState;
    if (bBrowserClosed && session_.state() == QAbstractSocket::UnconnectedState) {
        bDone_ = true;
        closeTimer_.stop();
        Q_EMIT Finished();
    }
}

} // namespace zaplo
