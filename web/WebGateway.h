// SPDX-License-Identifier: MIT
#pragma once

#include "net/LinkSettings.h"
#include "net/TcpListener.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QWebSocketServer>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zaplo {

class AppState;
class BrowserBridge;
class BrowserSocket;
class SessionHost;

// Join from a browser: a second listener of the server, speaking HTTP/1.1. "GET /" gives the
// page, "/app.js" and "/app.css" its script and style (from the program's resources, with the
// security headers of HttpReply), "GET /ws" with an Upgrade from the page's own origin becomes a
// WebSocket, bridged to the session's own port (BrowserBridge); anything else gets 404. With a
// certificate in the state the web port speaks TLS.
//
// Bounds before the session's rules take over: a request's head (HttpRequest::kMaxHead) within
// kHeadMs, at most kMaxWaiting connections that have not finished their request, one request
// per connection, at most kMaxBrowsers bridges. Every browser connection gets the session's
// keep-alive and user timeouts.
class WebGateway : public QObject {
    Q_OBJECT
public:
    static constexpr int kHeadMs = 5000;
    static constexpr std::size_t kMaxWaiting = 256;
    static constexpr std::size_t kMaxBrowsers = 4096;
    // Bytes of an answer the system may hold unsent; the rest stays in view here.
    static constexpr int kNotSentLowat = 16 * 1024;

    // For the session of host, which must be listening already; state: its addresses, TLS and
    // timeouts.
    WebGateway(AppState& state, SessionHost& host, QObject* parent = nullptr);
    ~WebGateway() override;

    // Listens on nPort at the session's listen address. False with Error() telling why.
    bool Listen(uint16_t nPort);
    uint16_t Port() const { return listener_.ServerPort(); }
    const std::string& Error() const { return szError_; }
    // How long a connection has for its request, and for taking the answer (kHeadMs; tests set
    // less).
    void SetHeadWait(int nMs) {
        nHeadMs_ = nMs;
        upgrader_.setHandshakeTimeout(nMs);
    }
    // Whether the page and WebSocket are served over TLS.
    bool Secure() const { return settings_.ServesTls(); }

    // Bridges in use, and connections still in their request.
    std::size_t Browsers() const { return bridges_.size(); }
    std::size_t Waiting() const { return waiting_.size(); }
    // The bridges, oldest first (tests and the bench look at their flow).
    const std::vector<BrowserBridge*>& Bridges() const { return bridges_; }

private:
    // A connection in its request: its socket, its address key, its time bound, and whether
    // it has been answered or handed to the upgrader.
    struct Waiter {
        BrowserSocket* socket;
        std::string szKey;
        QTimer* timer;
        bool bHandedOn;
    };

    void OnConnectionRequest(qintptr id);
    void OnRequestBytes(BrowserSocket* socket);
    void Answer(BrowserSocket* socket, const std::string& szReply);
    void Upgrade(BrowserSocket* socket);
    void OnWebSocket();
    Waiter* Find(const BrowserSocket* socket);
    void Forget(const BrowserSocket* socket);

    AppState& state_;
    SessionHost& host_;
    LinkSettings settings_;
    TcpListener listener_;
    QWebSocketServer upgrader_;
    QHostAddress sessionAddress_;
    std::vector<Waiter> waiting_;
    std::vector<BrowserBridge*> bridges_;
    QByteArray page_;
    QByteArray script_;
    QByteArray style_;
    std::string szError_;
    int nHeadMs_ = kHeadMs;
};

} // namespace zaplo
