// SPDX-License-Identifier: MIT
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QWebSocket>

#include <cstdint>
#include <string>

namespace zaplo {

class BridgeRegistry;
class BrowserSocket;

// One browser in the session: its WebSocket on one side, one TCP connection to the session's
// own port on the other, so the browser is one slot under the same rules as any TCP peer. Each
// BINARY frame from the browser is one line (CR LF added here); each line from the session
// goes to the browser as one frame without its CR LF. A frame holding CR or LF, a text frame
// or one longer than a line may be closes the browser (and so its slot).
//
// Flow control both ways, so neither side piles up here: while more than kSessionMark waits
// for the session, the browser is not read (TCP holds it back); while more than kBrowserMark
// waits for the browser, the session's side is not read, so the server sees a slow reader and
// paces or cuts it as it does any other. The bridge's receive buffer is kept small for that.
class BrowserBridge : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kSessionMark = 64 * 1024;
    static constexpr qint64 kBrowserMark = 256 * 1024;
    // Qt's read-ahead at the session's side and the system's receive buffer under it.
    static constexpr qint64 kReadAhead = 64 * 1024;
    static constexpr int kReceiveBuffer = 64 * 1024;
    // How long either side has to take its close before it is dropped.
    static constexpr int kCloseMs = 2000;

    // Takes over browser (already upgraded) on socket; szKey: the browser's address key.
    BrowserBridge(QWebSocket* browser, BrowserSocket* socket, std::string szKey,
                  BridgeRegistry& bridges, QObject* parent = nullptr);
    ~BrowserBridge() override;

    // Connects to the session at session:nPort from a port of its own, registered for the
    // browser's address first; over TLS when tls is given (a session that turns plain clients
    // away), taking only the session's own certificate. False when no port could be had; the
    // bridge is finished then.
    bool Open(const QHostAddress& session, quint16 nPort, const QSslConfiguration* tls = nullptr);

    // Bytes waiting to go to the browser, and to the session.
    qint64 ToBrowser() const;
    qint64 ToSession() const { return session_.bytesToWrite(); }
    // The browser is not being read for now.
    bool BrowserHeld() const;
    // The bridge's source port towards the session (0 before Open).
    uint16_t SourcePort() const { return nPort_; }

Q_SIGNALS:
    // Both sides are closed: the bridge may go.
    void Finished();

private:
    void OnSessionUp();
    void OnBrowserLine(const QByteArray& line);
    void OnSessionWritten();
    // Sends the session's complete lines to the browser while it keeps up; with bAll, whatever
    // is left (the session's side has closed).
    void ForwardToBrowser(bool bAll = false);
    void Finish(bool bBrowserFault);
    void CheckDone();

    QPointer<QWebSocket> browser_;
    QPointer<BrowserSocket> socket_;
    std::string szKey_;
    BridgeRegistry& bridges_;
    QSslSocket session_;
    QByteArray partial_;
    QTimer closeTimer_;
    uint16_t nPort_ = 0;
    bool bFinishing_ = false;
    bool bDone_ = false;
};

} // namespace zaplo
