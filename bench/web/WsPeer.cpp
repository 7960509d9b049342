// SPDX-License-Identifier: MIT
#include "bench/web/WsPeer.h"

#include <QUrl>

WsPeer::WsPeer(uint16_t nWebPort) : socket(QStringLiteral("http://127.0.0.1:%1").arg(nWebPort)) {
    QObject::connect(&socket, &QWebSocket::binaryMessageReceived, &socket,
                     [this](const QByteArray& frame) { Line(frame); });
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(nWebPort)));
}
