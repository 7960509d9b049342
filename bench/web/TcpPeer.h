// SPDX-License-Identifier: MIT
#pragma once

#include "bench/web/Peer.h"

#include <QTcpSocket>

#include <cstdint>

// A raw TCP peer on loopback, line by line.
struct TcpPeer : Peer {
    explicit TcpPeer(uint16_t nPort);
    void Send(const QByteArray& line) override { socket.write(line + "\r\n"); }
    qint64 Unsent() const override { return socket.bytesToWrite(); }
    bool Up() const override { return socket.state() == QAbstractSocket::ConnectedState; }
    QTcpSocket socket;
    QByteArray buffer;
};
