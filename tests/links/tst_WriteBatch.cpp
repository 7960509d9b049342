// SPDX-License-Identifier: MIT
// Sends gathered during relay work: handed to the system whole, in order, before a close, and
// never onto a later connection of the same socket.
#include "net/EventPump.h"
#include "net/TcpSocket.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

// A listening TcpSocket on 127.0.0.1, the peers that connect to it and a pump whose clock
// never moves.
class Listener {
public:
    Listener() {
        socket.SetLocalPort(0);
        bOk = socket.Listen("127.0.0.1");
    }
    // Connects a new peer and accepts it onto `slot`, which sends through the pump.
    bool Connect(QTcpSocket& peer, zaplo::TcpSocket& slot) {
        slot.SetPump(&pump);
        QSignalSpy requests(&socket, &zaplo::TcpSocket::ConnectionRequest);
        peer.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(socket.LocalPort()));
        if (!requests.wait(5000)) {
            return false;
        }
        return slot.Accept(requests.takeFirst().at(0).value<qintptr>()) &&
               QTest::qWaitFor([&] { return peer.state() == QAbstractSocket::ConnectedState; });
    }

    zaplo::TcpSocket socket;
    zaplo::EventPump pump{[] { return 0; }, 5};
    bool bOk = false;
};

// Everything the peer receives until it has nBytes (or five seconds have passed).
QByteArray Receive(QTcpSocket& peer, qsizetype nBytes) {
    QByteArray got;
    (void)QTest::qWaitFor([&] {
        got += peer.readAll();
        return got.size() >= nBytes;
    });
    return got;
}

QByteArray Lines(char c, int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        out += "{10}" + QByteArray::number(i) + ";" + QByteArray(1, c) + ";\r\n";
    }
    return out;
}

} // namespace

class WriteBatchTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void nestedWorkAndEventRunsKeepTheOrder() {
        Listener listener;
        zaplo::EventPump& pump = listener.pump;
        QTcpSocket peer;
        zaplo::TcpSocket slot;
        QVERIFY(listener.bOk && listener.Connect(peer, slot));
        const QByteArray a = Lines('a', 3000), b = Lines('b', 10), c = Lines('c', 2000);
        pump.Begin();
        slot.Send(a.toStdString());
        // The unsent bound sees gathered bytes too.
        QCOMPARE(slot.BytesToWrite(), a.size());
        pump.Begin();
        slot.Send(b.left(5).toStdString(), b.mid(5).toStdString());
        pump.End();
        pump.Run();
        slot.Send(c.toStdString());
        pump.End();
        slot.Send("{11}", "\r\n");
        const QByteArray want = a + b + c + "{11}\r\n";
        QCOMPARE(Receive(peer, want.size()), want);
    }

    void closeSendsWhatWasGatheredAndTheNextConnectionStartsClean() {
        Listener listener;
        zaplo::EventPump& pump = listener.pump;
        QTcpSocket first, second;
        zaplo::TcpSocket slot;
        QVERIFY(listener.bOk && listener.Connect(first, slot));
        const QByteArray before = Lines('x', 500), after = Lines('y', 500);
        pump.Begin();
        slot.Send(before.toStdString());
        slot.Close();
        QCOMPARE(slot.BytesToWrite(), 0);
        QVERIFY(listener.Connect(second, slot));
        slot.Send(after.toStdString());
        pump.End();
        QCOMPARE(Receive(first, before.size()), before);
        QTRY_COMPARE(first.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(first.readAll(), QByteArray());
        QCOMPARE(Receive(second, after.size()), after);
    }

    void socketGoneInTheMiddleOfTheWorkLeavesTheOthersServed() {
        Listener listener;
        QTcpSocket gonePeer, peer;
        auto gone = std::make_unique<zaplo::TcpSocket>();
        zaplo::TcpSocket slot;
        QVERIFY(listener.bOk && listener.Connect(gonePeer, *gone) && listener.Connect(peer, slot));
        const QByteArray lines = Lines('z', 100);
        listener.pump.Begin();
        gone->Send(lines.toStdString());
        slot.Send(lines.toStdString());
        gone.reset();
        listener.pump.End();
        QCOMPARE(Receive(peer, lines.size()), lines);
    }

    void workNestedInAnEventRunWaitsItsOwnInterval() {
        int32_t lNow = 0;
        zaplo::EventPump pump([&] { return lNow; }, 5);
        int64_t nRunsInside = -1;
        pump.Begin();
        lNow = 5;
        // A relay that lets events run, inside which another relay sends: that one must not
        // run the events again at once (which would nest a level deeper after every send).
        QObject context;
        QMetaObject::invokeMethod(
            &context,
            [&] {
                pump.Begin();
                for (int i = 0; i < 3 * zaplo::EventPump::kSendsPerClockRead; ++i) {
                    pump.AfterSend();
                }
                nRunsInside = pump.Runs();
                pump.End();
            },
            Qt::QueuedConnection);
        pump.AfterSend();
        QCOMPARE(nRunsInside, int64_t{1});
        pump.End();
    }
};

QTEST_GUILESS_MAIN(WriteBatchTest)
#include "tst_WriteBatch.moc"
