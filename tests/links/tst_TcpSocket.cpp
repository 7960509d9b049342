// The socket layer on its own: listening, accepting by request identifier, reuse of a closed
// socket object, exact bytes both ways, and which closes raise the close event.
#include "net/TcpSocket.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <memory>

using zaplo::TcpSocket;

namespace {

// A listening TcpSocket on 127.0.0.1 with an ephemeral port.
std::unique_ptr<TcpSocket> MakeListener() {
    auto listener = std::make_unique<TcpSocket>();
    listener->SetLocalPort(0);
    if (!listener->Listen("127.0.0.1")) {
        return nullptr;
    }
    return listener;
}

// Connects a raw peer to the listener and accepts it onto `slot`.
std::unique_ptr<QTcpSocket> ConnectPeer(TcpSocket& listener, TcpSocket& slot) {
    QSignalSpy requests(&listener, &TcpSocket::ConnectionRequest);
    auto peer = std::make_unique<QTcpSocket>();
    peer->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(listener.LocalPort()));
    if (!requests.wait(5000) && requests.isEmpty()) {
        return nullptr;
    }
    if (!slot.Accept(requests.takeFirst().at(0).value<qintptr>())) {
        return nullptr;
    }
    if (!QTest::qWaitFor([&] { return peer->state() == QAbstractSocket::ConnectedState; }, 5000)) {
        return nullptr;
    }
    return peer;
}

// A port on 127.0.0.1 that nobody listens on (bound once, then released).
quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 nPort = probe.serverPort();
    probe.close();
    return nPort;
}

// Reads until nBytes have come (or five seconds passed), letting every socket's events run.
QByteArray ReadExactly(QTcpSocket& peer, qsizetype nBytes) {
    QByteArray got;
    (void)QTest::qWaitFor(
        [&] {
            got += peer.readAll();
            return got.size() >= nBytes;
        },
        5000);
    return got;
}

} // namespace

class TcpSocketTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void acceptedConnectionCarriesExactBytes();
    void peerCloseIsAnEventLocalCloseIsNot();
    void closedSocketObjectTakesTheNextConnection();
    void connectReachesListenerWithLowDelay();
    void failedConnectEndsClosed();
    void listenFailuresLeaveTheSocketClosed();
};

void TcpSocketTest::acceptedConnectionCarriesExactBytes() {
    auto listener = MakeListener();
    QVERIFY(listener);
    QCOMPARE(listener->GetState(), TcpSocket::State::Listening);
    QVERIFY(listener->LocalPort() > 0);

    TcpSocket slot;
    QCOMPARE(slot.GetState(), TcpSocket::State::Closed);
    QSignalSpy requests(listener.get(), &TcpSocket::ConnectionRequest);
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(listener->LocalPort()));
    QVERIFY(requests.wait(5000));
    const auto id = requests.at(0).at(0).value<qintptr>();
    QVERIFY(slot.Accept(id));
    QCOMPARE(slot.GetState(), TcpSocket::State::Connected);
    // The request identifier is the connection's descriptor: every connection has no delay.
    int nNoDelay = 0;
    socklen_t nLen = sizeof nNoDelay;
    QCOMPARE(::getsockopt(static_cast<int>(id), IPPROTO_TCP, TCP_NODELAY, &nNoDelay, &nLen), 0);
    QVERIFY(nNoDelay != 0);
    QVERIFY(slot.LowDelay());
    // The listener goes on listening.
    QCOMPARE(listener->GetState(), TcpSocket::State::Listening);

    QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QAbstractSocket::ConnectedState, 5000);
    QSignalSpy arrivals(&slot, &TcpSocket::DataArrival);
    const QByteArray sent("{1}{ann}h\xe9llo\r\n\x00\x01", 16);
    peer.write(sent);
    std::string got;
    QTRY_VERIFY_WITH_TIMEOUT((got += slot.ReadAll(), got.size() >= 16), 5000);
    QVERIFY(!arrivals.isEmpty());
    QCOMPARE(QByteArray::fromStdString(got), sent);
    QCOMPARE(slot.ReadAll(), std::string());

    slot.Send("{9}bob has joined!\r\n");
    slot.Send("{8}host;ann;bob;\r\n");
    QCOMPARE(ReadExactly(peer, 38), QByteArray("{9}bob has joined!\r\n{8}host;ann;bob;\r\n"));
}

void TcpSocketTest::peerCloseIsAnEventLocalCloseIsNot() {
    auto listener = MakeListener();
    QVERIFY(listener);
    TcpSocket slotA;
    TcpSocket slotB;
    auto peerA = ConnectPeer(*listener, slotA);
    auto peerB = ConnectPeer(*listener, slotB);
    QVERIFY(peerA && peerB);

    QSignalSpy closedA(&slotA, &TcpSocket::PeerClosed);
    QSignalSpy closedB(&slotB, &TcpSocket::PeerClosed);

    // Peer A sends its last words and goes: one event, the words can still be read, and the
    // socket is not free until it is closed here.
    peerA->write("{1}{ann}last words\r\n");
    peerA->disconnectFromHost();
    QVERIFY(closedA.wait(5000));
    QCOMPARE(closedA.size(), 1);
    QCOMPARE(slotA.GetState(), TcpSocket::State::Closing);
    QCOMPARE(slotA.ReadAll(), std::string("{1}{ann}last words\r\n"));
    slotA.Close();
    QCOMPARE(slotA.GetState(), TcpSocket::State::Closed);

    // Closing B here: the peer sees it, no event on this side.
    QSignalSpy peerBGone(peerB.get(), &QTcpSocket::disconnected);
    slotB.Close();
    QCOMPARE(slotB.GetState(), TcpSocket::State::Closed);
    QVERIFY(peerBGone.wait(5000));
    QCoreApplication::processEvents();
    QCOMPARE(closedB.size(), 0);
    QCOMPARE(closedA.size(), 1);
}

void TcpSocketTest::closedSocketObjectTakesTheNextConnection() {
    auto listener = MakeListener();
    QVERIFY(listener);
    TcpSocket slot;
    auto first = ConnectPeer(*listener, slot);
    QVERIFY(first);
    first->write("left over");
    QTRY_VERIFY_WITH_TIMEOUT(slot.BytesToWrite() == 0, 5000);
    QSignalSpy firstGone(first.get(), &QTcpSocket::disconnected);
    slot.Close();
    QVERIFY(firstGone.wait(5000));

    // Same object, new connection: nothing of the first one is left.
    auto second = ConnectPeer(*listener, slot);
    QVERIFY(second);
    QCOMPARE(slot.GetState(), TcpSocket::State::Connected);
    second->write("fresh\r\n");
    std::string got;
    QTRY_VERIFY_WITH_TIMEOUT((got += slot.ReadAll(), got.size() >= 7), 5000);
    QCOMPARE(got, std::string("fresh\r\n"));
    slot.Send("back\r\n");
    QCOMPARE(ReadExactly(*second, 6), QByteArray("back\r\n"));
    QCOMPARE(first->state(), QAbstractSocket::UnconnectedState);
}

void TcpSocketTest::connectReachesListenerWithLowDelay() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    TcpSocket client;
    client.SetRemoteHost("127.0.0.1");
    client.SetRemotePort(server.serverPort());
    QCOMPARE(client.RemoteHost(), std::string("127.0.0.1"));
    QCOMPARE(client.RemotePort(), static_cast<int>(server.serverPort()));
    client.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(client.GetState(), TcpSocket::State::Connected, 5000);
    QVERIFY(client.LowDelay());
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 5000);
    QTcpSocket* accepted = server.nextPendingConnection();
    QVERIFY(accepted);
    client.Send("{2}bob\r\n");
    QCOMPARE(ReadExactly(*accepted, 8), QByteArray("{2}bob\r\n"));

    // The server goes away: the client hears of it once.
    QSignalSpy closed(&client, &TcpSocket::PeerClosed);
    accepted->disconnectFromHost();
    QVERIFY(closed.wait(5000));
    QCOMPARE(client.GetState(), TcpSocket::State::Closing);
    client.Close();
    QCOMPARE(client.GetState(), TcpSocket::State::Closed);
}

void TcpSocketTest::failedConnectEndsClosed() {
    TcpSocket client;
    QSignalSpy closed(&client, &TcpSocket::PeerClosed);
    client.SetRemoteHost("127.0.0.1");
    client.SetRemotePort(FreePort());
    client.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(client.GetState(), TcpSocket::State::Closed, 5000);
    QCOMPARE(client.LastError(), QAbstractSocket::ConnectionRefusedError);
    // Ports outside 1..65535 never start an attempt.
    for (const int nPort : {0, -201, 70000}) {
        client.SetRemotePort(nPort);
        client.Connect();
        QCOMPARE(client.GetState(), TcpSocket::State::Closed);
    }
    QCOMPARE(closed.size(), 0);
}

void TcpSocketTest::listenFailuresLeaveTheSocketClosed() {
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    TcpSocket listener;
    listener.SetLocalPort(taken.serverPort());
    QVERIFY(!listener.Listen("127.0.0.1"));
    QCOMPARE(listener.LastError(), QAbstractSocket::AddressInUseError);
    QCOMPARE(listener.GetState(), TcpSocket::State::Closed);

    listener.SetLocalPort(-5);
    QVERIFY(!listener.Listen("127.0.0.1"));
    QCOMPARE(listener.GetState(), TcpSocket::State::Closed);

    listener.SetLocalPort(0);
    QVERIFY(!listener.Listen("not an address"));
    QCOMPARE(listener.GetState(), TcpSocket::State::Closed);

    // And it can still listen afterwards, here on every address: an IPv4 client gets in.
    QVERIFY(listener.Listen());
    QCOMPARE(listener.GetState(), TcpSocket::State::Listening);
    TcpSocket slot;
    auto peer = ConnectPeer(listener, slot);
    QVERIFY(peer);
    QCOMPARE(slot.GetState(), TcpSocket::State::Connected);
    listener.Close();
    QCOMPARE(listener.GetState(), TcpSocket::State::Closed);
    QCOMPARE(listener.LocalPort(), 0);
}

QTEST_GUILESS_MAIN(TcpSocketTest)
#include "tst_TcpSocket.moc"
