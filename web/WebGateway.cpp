// SPDX-License-Identifier: MIT
#include "web/WebGateway.h"

#include "base/AppState.h"
#include "net/NetSession.h"
#include "net/PeerAddress.h"
#include "net/SessionHost.h"
#include "net/TcpSocket.h"
#include "web/BrowserBridge.h"
#include "web/BrowserSocket.h"
#include "web/HttpReply.h"
#include "web/HttpRequest.h"

#include <QFile>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <utility>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace zaplo {

namespace {

QByteArray PageFile(const QString& szName) {
    QFile file(QStringLiteral(":/web/") + szName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Keep-alive as on the session's own connections, and unsent bytes kept in view rather than in
// the system's buffer. A browser's socket has no SilenceWatch, so the system's user timeout ends
// it when what it is sent goes unacknowledged; a browser's receive buffer grows as it needs, so
// a live one does not keep its window shut for that long.
void PrepareDescriptor(qintptr fd, const LinkTimeouts& timeouts, int nLowat) {
    TcpSocket::ApplyTimeouts(fd, timeouts);
    const auto nUser = static_cast<unsigned int>(std::max(timeouts.nUserTimeoutMs, 0));
    ::setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_USER_TIMEOUT, &nUser, sizeof nUser);
    ::setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_NOTSENT_LOWAT, &nLowat, sizeof nLowat);
}

// Where a bridge reaches the session: its own listen address, or loopback when it listens on
// every address.
QHostAddress SessionAddress(const std::string& szListenHost) {
    QHostAddress address;
    if (szListenHost.empty() || !address.setAddress(QString::fromStdString(szListenHost)) ||
        address == QHostAddress::AnyIPv4 || address == QHostAddress::Any) {
        return QHostAddress(QHostAddress::LocalHost);
    }
    if (address == QHostAddress::AnyIPv6) {
        return QHostAddress(QHostAddress::LocalHostIPv6);
    }
    return address;
}

} // namespace

WebGateway::WebGateway(AppState& state, SessionHost& host, QObject* parent)
    : QObject(parent), state_(state), host_(host),
      upgrader_(QStringLiteral("zaplo"), QWebSocketServer::NonSecureMode),
      page_(PageFile(QStringLiteral("index.html"))), script_(PageFile(QStringLiteral("app.js"))),
      style_(PageFile(QStringLiteral("app.css"))) {
    upgrader_.setHandshakeTimeout(kHeadMs);
    upgrader_.setMaxPendingConnections(static_cast<int>(kMaxWaiting));
    connect(&upgrader_, &QWebSocketServer::newConnection, this, &WebGateway::OnWebSocket);
    connect(&listener_, &TcpListener::ConnectionRequest, this, &WebGateway::OnConnectionRequest);
}

WebGateway::~WebGateway() {
    // Bridges and waiting connections go while the upgrader and the listener are still there.
    const std::vector<BrowserBridge*> bridges = std::exchange(bridges_, {});
    for (BrowserBridge* bridge : bridges) {
        delete bridge;
    }
    const std::vector<Waiter> waiting = std::exchange(waiting_, {});
    for (const Waiter& waiter : waiting) {
        disconnect(waiter.socket, nullptr, this, nullptr);
        delete waiter.socket;
    }
}

bool WebGateway::Listen(uint16_t nPort) {
    const uint16_t nSession = host_.Session().ListeningPort();
    if (nSession == 0) {
        szError_ = "Cannot serve browsers: the session does not listen";
        return false;
    }
    if (!settings_.LoadServer(state_, szError_)) {
        szError_ = "Cannot use the TLS certificate for the web port: " + szError_;
        return false;
    }
    QHostAddress address(QHostAddress::Any);
    if (!state_.szListenHost.empty()) {
        address.setAddress(QString::fromStdString(state_.szListenHost));
    }
    sessionAddress_ = SessionAddress(state_.szListenHost);
    if (!listener_.Listen(address, nPort)) {
        szError_ = "Cannot listen on web port " + std::to_string(nPort) + ": " +
                   listener_.LastErrorString().toStdString();
        return false;
    }
    return true;
}

WebGateway::Waiter* WebGateway::Find(const BrowserSocket* socket) {
    const auto it = std::find_if(waiting_.begin(), waiting_.end(),
                                 [socket](const Waiter& w) { return w.socket == socket; });
    return it == waiting_.end() ? nullptr : &*it;
}

void WebGateway::Forget(const BrowserSocket* socket) {
    std::erase_if(waiting_, [socket](const Waiter& w) { return w.socket == socket; });
}

void WebGateway::OnConnectionRequest(qintptr id) {
    if (waiting_.size() >= kMaxWaiting || bridges_.size() >= kMaxBrowsers) {
        // Enough wait here or are bridged; a browser tries again later.
        TcpSocket::Reject(id);
        return;
    }
    std::string szKey = PeerKey(id);
    PrepareDescriptor(id, settings_.timeouts, kNotSentLowat);
    auto* socket = new BrowserSocket(this);
    if (!socket->setSocketDescriptor(id)) {
        TcpSocket::Reject(id);
        delete socket;
        return;
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Qt reads no more of a request than its head may be.
    socket->setReadBufferSize(static_cast<qint64>(HttpRequest::kMaxHead));
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    // A browser that says nothing, or too slowly, or takes an answer too slowly, is let go.
    connect(timer, &QTimer::timeout, socket, &QAbstractSocket::abort);
    timer->start(nHeadMs_);
    waiting_.push_back(Waiter{socket, std::move(szKey), timer, false});
    connect(socket, &QObject::destroyed, this,
            [this, socket] { Forget(static_cast<const BrowserSocket*>(socket)); });
    connect(socket, &QIODevice::readyRead, this, [this, socket] { OnRequestBytes(socket); });
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
        // Answered and closed, or gone, or refused by the upgrade: its part ends here. An
        // upgraded socket is the bridge's.
        if (Find(socket) != nullptr) {
            Forget(socket);
            socket->deleteLater();
        }
    });
    if (settings_.ServesTls()) {
        socket->setSslConfiguration(settings_.ServerTls());
        socket->startServerEncryption();
    }
}

void WebGateway::OnRequestBytes(BrowserSocket* socket) {
    const Waiter* waiter = Find(socket);
    if (waiter == nullptr || waiter->bHandedOn) {
        return;
    }
    const QByteArray bytes = socket->peek(static_cast<qint64>(HttpRequest::kMaxHead));
    HttpRequest request;
    switch (HttpRequest::Read(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), request)) {
    case HttpRequest::Status::Incomplete:
        return;
    case HttpRequest::Status::TooLarge:
        Answer(socket, HttpReply::Status(431));
        return;
    case HttpRequest::Status::Malformed:
        Answer(socket, HttpReply::Status(400));
        return;
    case HttpRequest::Status::Complete:
        break;
    }
    const bool bGet = request.Method() == "GET";
    const bool bHead = request.Method() == "HEAD";
    if (bGet && request.Path() == "/ws" && request.WantsWebSocket()) {
        if (!request.SameOrigin(Secure())) {
            // Another site's page may not join in the name of whoever visits it.
            Answer(socket, HttpReply::Status(403));
            return;
        }
        if (bridges_.size() >= kMaxBrowsers) {
            Answer(socket, HttpReply::Status(503));
            return;
        }
        Upgrade(socket);
        return;
    }
    const QByteArray* body = nullptr;
    const char* szType = nullptr;
    if (request.Path() == "/") {
        body = &page_;
        szType = "text/html; charset=utf-8";
    } else if (request.Path() == "/app.js") {
        body = &script_;
        szType = "text/javascript; charset=utf-8";
    } else if (request.Path() == "/app.css") {
        body = &style_;
        szType = "text/css; charset=utf-8";
    }
    if ((!bGet && !bHead) || body == nullptr) {
        Answer(socket, HttpReply::Status(404));
        return;
    }
    Answer(socket,
           HttpReply::Resource(
               szType, std::string_view(body->constData(), static_cast<std::size_t>(body->size())),
               bHead));
}

void WebGateway::Answer(BrowserSocket* socket, const std::string& szReply) {
    Waiter* waiter = Find(socket);
    if (waiter == nullptr) {
        return;
    }
    // One request per connection: whatever else it sends is not read.
    waiter->bHandedOn = true;
    disconnect(socket, &QIODevice::readyRead, this, nullptr);
    socket->write(szReply.data(), static_cast<qint64>(szReply.size()));
    socket->disconnectFromHost();
    // The answer has the same time as the request had to be taken.
    waiter->timer->start(nHeadMs_);
}

void WebGateway::Upgrade(BrowserSocket* socket) {
    Waiter* waiter = Find(socket);
    waiter->bHandedOn = true;
    disconnect(socket, &QIODevice::readyRead, this, nullptr);
    socket->setReadBufferSize(BrowserBridge::kReadAhead);
    // The head is still unread: the upgrader reads it itself (within kHeadMs, its handshake
    // bound); a request it refuses is answered and closed there.
    upgrader_.handleConnection(socket);
}

void WebGateway::OnWebSocket() {
    while (upgrader_.hasPendingConnections()) {
        QWebSocket* browser = upgrader_.nextPendingConnection();
        const auto it = std::find_if(waiting_.begin(), waiting_.end(), [browser](const Waiter& w) {
            return w.bHandedOn && w.socket->peerPort() == browser->peerPort() &&
                   w.socket->peerAddress() == browser->peerAddress();
        });
        if (it == waiting_.end()) {
            browser->abort();
            browser->deleteLater();
            continue;
        }
        BrowserSocket* socket = it->socket;
        const std::string szKey = it->szKey;
        delete it->timer;
        waiting_.erase(it);
        auto* bridge = new BrowserBridge(browser, socket, szKey, host_.Session().Bridges(), this);
        bridges_.push_back(bridge);
        connect(bridge, &BrowserBridge::Finished, this, [this, bridge] {
            std::erase(bridges_, bridge);
            bridge->deleteLater();
        });
        bridge->Open(sessionAddress_, host_.Session().ListeningPort(),
                     settings_.RequiresTls() ? &settings_.ServerTls() : nullptr);
    }
}

} // namespace zaplo
