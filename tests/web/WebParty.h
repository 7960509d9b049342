// SPDX-License-Identifier: MIT
#pragma once
// What the web port's tests share: a server session on every address with its web port, TCP raw
// peers and browsers (Qt's WebSocket client, or a bare one that stops reading).
#include "net/NetSession.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/RawPeer.h"
#include "web/WebGateway.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

#include <functional>
#include <memory>

#include <sys/socket.h>

// A session server (listening on every address) with its web port.
struct WebServer {
    // prepare: settings of the session before it starts (TLS).
    explicit WebServer(const std::function<void(zaplo::AppState&)>& prepare = {})
        : server(0, "host", FreeLowPort()) {
        server.state.szListenHost.clear();
        if (prepare) {
            prepare(server.state);
        }
        server.Start();
        bListening = server.session->ListeningPort() != 0 && web.Listen(0);
    }
    uint16_t Port() const { return server.session->ListeningPort(); }
    uint16_t WebPort() const { return web.Port(); }
    // A TCP raw peer, joined under szNick with its join's answer taken off.
    std::unique_ptr<RawPeer> Join(const char* szNick) {
        auto peer = std::make_unique<RawPeer>(Port());
        if (!peer->WaitState(QTcpSocket::ConnectedState)) {
            return nullptr;
        }
        peer->Send("{2}" + QByteArray(szNick) + "\r\n");
        return peer->TakeThrough("{8}").endsWith(";\r\n") ? std::move(peer) : nullptr;
    }

    HeadlessHost server;
    zaplo::WebGateway web{server.state, server.Host()};
    bool bListening = false;
};

// A browser on Qt's WebSocket client; keeps every frame it receives.
struct Browser {
    // Opens ws://szHost:nPort/ws from the page's own origin (or szOrigin).
    Browser(const QString& szHost, uint16_t nPort, const QString& szOrigin = {})
        : socket(szOrigin.isEmpty() ? QStringLiteral("http://%1:%2").arg(szHost).arg(nPort)
                                    : szOrigin) {
        QObject::connect(&socket, &QWebSocket::binaryMessageReceived, &socket,
                         [this](const QByteArray& frame) { frames << frame; });
        QObject::connect(&socket, &QWebSocket::disconnected, &socket, [this] { bClosed = true; });
        socket.open(QUrl(QStringLiteral("ws://%1:%2/ws").arg(szHost).arg(nPort)));
    }
    bool WaitOpen() {
        return QTest::qWaitFor(
                   [this] { return socket.state() == QAbstractSocket::ConnectedState || bClosed; },
                   10000) &&
               !bClosed;
    }
    bool WaitClosed(int nMs = 10000) {
        return QTest::qWaitFor([this] { return bClosed; }, nMs);
    }
    // Waits for a frame equal to frame (five seconds at most).
    bool WaitFrame(const QByteArray& frame, int nMs = 5000) {
        return QTest::qWaitFor([&] { return frames.contains(frame); }, nMs);
    }
    void Send(const QByteArray& line) { socket.sendBinaryMessage(line); }
    // Joins as szNick and waits for the answer to it.
    bool Join(const QByteArray& szNick) {
        Send("{2}" + szNick);
        return WaitFrame("{9}" + szNick + " has joined!");
    }

    QWebSocket socket;
    QByteArrayList frames;
    bool bClosed = false;
};

// One WebSocket frame from a browser: final, masked as a client's must be.
inline QByteArray ClientFrame(int nOpcode, const QByteArray& payload) {
    QByteArray frame;
    frame += static_cast<char>(0x80 | nOpcode);
    const auto nSize = static_cast<quint64>(payload.size());
    if (nSize < 126) {
        frame += static_cast<char>(0x80 | nSize);
    } else if (nSize < 65536) {
        frame += static_cast<char>(0x80 | 126);
        frame += static_cast<char>(nSize >> 8);
        frame += static_cast<char>(nSize & 0xff);
    } else {
        frame += static_cast<char>(0x80 | 127);
        for (int i = 7; i >= 0; --i) {
            frame += static_cast<char>((nSize >> (8 * i)) & 0xff);
        }
    }
    const quint32 nMask = QRandomGenerator::global()->generate();
    const char mask[4] = {static_cast<char>(nMask >> 24), static_cast<char>(nMask >> 16),
                          static_cast<char>(nMask >> 8), static_cast<char>(nMask)};
    frame.append(mask, 4);
    for (qsizetype i = 0; i < payload.size(); ++i) {
        frame += static_cast<char>(payload[i] ^ mask[i % 4]);
    }
    return frame;
}

// A bare browser over a raw TCP socket, from a source address of its choice: speaks the upgrade
// by hand and reads only when asked to (Qt's read-ahead and the system's buffer are kept small,
// so a browser that is not asked stops taking data).
struct RawBrowser {
    explicit RawBrowser(uint16_t nPort,
                        const QHostAddress& from = QHostAddress(QHostAddress::LocalHost)) {
        socket.setReadBufferSize(4096);
        if (!socket.bind(from, 0)) {
            return;
        }
        const int nSmall = 4096;
        ::setsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &nSmall,
                     sizeof nSmall);
        socket.connectToHost(QHostAddress(QHostAddress::LocalHost), nPort);
        const QByteArray host = "127.0.0.1:" + QByteArray::number(nPort);
        socket.write("GET /ws HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://" + host +
                     "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                     "Sec-WebSocket-Version: 13\r\n\r\n");
    }
    // Waits for the upgrade's answer (and takes it off).
    bool WaitUpgraded() {
        const bool bDone = QTest::qWaitFor(
            [this] {
                got += socket.readAll();
                return got.contains("\r\n\r\n");
            },
            10000);
        const bool bUpgraded = bDone && got.startsWith("HTTP/1.1 101");
        got.remove(0, got.indexOf("\r\n\r\n") + 4);
        return bUpgraded;
    }
    void Send(const QByteArray& line) { socket.write(ClientFrame(0x2, line)); }
    // Reads what has come and cuts it into the server's (unmasked) frames' payloads.
    void Read() {
        got += socket.readAll();
        while (got.size() >= 2) {
            quint64 nSize = static_cast<quint8>(got[1]) & 0x7f;
            qsizetype nHead = 2;
            if (nSize == 126 || nSize == 127) {
                nHead += nSize == 126 ? 2 : 8;
                if (got.size() < nHead) {
                    return;
                }
                nSize = 0;
                for (qsizetype i = 2; i < nHead; ++i) {
                    nSize = (nSize << 8) | static_cast<quint8>(got[i]);
                }
            }
            if (static_cast<quint64>(got.size() - nHead) < nSize) {
                return;
            }
            frames << got.mid(nHead, static_cast<qsizetype>(nSize));
            got.remove(0, nHead + static_cast<qsizetype>(nSize));
        }
    }
    bool WaitFrame(const QByteArray& frame, int nMs = 5000) {
        return QTest::qWaitFor(
            [&] {
                Read();
                return frames.contains(frame);
            },
            nMs);
    }

    QTcpSocket socket;
    QByteArray got;
    QByteArrayList frames;
};
