// SPDX-License-Identifier: MIT
#pragma once

#include "bench/web/Peer.h"

#include <QWebSocket>

#include <cstdint>

// A browser-like WebSocket client of the web port on loopback, one line a binary message.
struct WsPeer : Peer {
    explicit WsPeer(uint16_t nWebPort);
    void Send(const QByteArray& line) override { socket.sendBinaryMessage(line); }
    qint64 Unsent() const override { return socket.bytesToWrite(); }
    bool Up() const override { return socket.state() == QAbstractSocket::ConnectedState; }
    QWebSocket socket;
};
