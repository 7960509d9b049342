#include "RawPeer.h"

#include <QHostAddress>
#include <QTest>

RawPeer::RawPeer(uint16_t nPort) {
    connect(&socket, &QTcpSocket::readyRead, this, [this] { got += socket.readAll(); });
    connect(&socket, &QTcpSocket::disconnected, this, [this] { bClosed = true; });
    socket.connectToHost(QHostAddress::LocalHost, nPort);
}

bool RawPeer::WaitConnected() {
    return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; },
                           5000);
}

bool RawPeer::WaitBytes(qsizetype nBytes, int nTimeoutMs) {
    return QTest::qWaitFor([&] { return got.size() >= nBytes; }, nTimeoutMs);
}

bool RawPeer::WaitContains(const QByteArray& szText, int nTimeoutMs) {
    return QTest::qWaitFor([&] { return got.contains(szText); }, nTimeoutMs);
}

bool RawPeer::WaitClosed(int nTimeoutMs) {
    return QTest::qWaitFor(
        [this] { return bClosed || socket.state() == QAbstractSocket::UnconnectedState; },
        nTimeoutMs);
}

void RawPeer::Send(const QByteArray& szData) {
    socket.write(szData);
    socket.flush();
}

QByteArray RawPeer::Take() {
    QByteArray taken;
    taken.swap(got);
    return taken;
}
