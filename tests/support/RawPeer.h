// SPDX-License-Identifier: MIT
#pragma once

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <utility>

// A bare TCP client for checking the exact bytes on the wire; keeps all it receives in `got`.
class RawPeer {
public:
    explicit RawPeer(uint16_t nPort,
                     const QHostAddress& host = QHostAddress(QHostAddress::LocalHost)) {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket,
                         [this] { got += socket.readAll(); });
        socket.connectToHost(host, nPort);
    }
    bool WaitState(QTcpSocket::SocketState nState) {
        return QTest::qWaitFor([=, this] { return socket.state() == nState; });
    }
    bool WaitBytes(qsizetype nBytes, int nMs = 5000) {
        return QTest::qWaitFor([&] { return got.size() >= nBytes; }, nMs);
    }
    // Waits until `got` holds szText and ends a line (five seconds at most), then takes it all.
    QByteArray TakeThrough(const QByteArray& szText) {
        (void)QTest::qWaitFor([&] { return got.contains(szText) && got.endsWith("\r\n"); });
        return std::exchange(got, {});
    }
    void Send(const QByteArray& szData) {
        socket.write(szData);
        socket.flush();
    }

    QTcpSocket socket;
    QByteArray got;
};
