// SPDX-License-Identifier: MIT
#include "bench/web/TcpPeer.h"

#include <QHostAddress>

TcpPeer::TcpPeer(uint16_t nPort) {
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] {
        buffer += socket.readAll();
        qsizetype nStart = 0;
        for (qsizetype n = buffer.indexOf("\r\n"); n >= 0; n = buffer.indexOf("\r\n", nStart)) {
            Line(buffer.mid(nStart, n - nStart));
            nStart = n + 2;
        }
        buffer.remove(0, nStart);
    });
    socket.connectToHost(QHostAddress::LocalHost, nPort);
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
}
