// SPDX-License-Identifier: MIT
// Client sessions against a server session or a listener that never answers, in one process.
#include "tests/links/ServerParty.h"

#include "base/Ticks.h"

#include <QTcpSocket>
#include <QTest>
#include <QTimer>

class ClientLinkTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void clientsJoinChatDrawAndLoseTheServer() {
        auto server = StartServer();
        HeadlessHost ann(1, "ann", server->state.nPort);
        HeadlessHost bob(1, "bob", server->state.nPort);
        ann.Start();
        bob.Start();
        QTRY_COMPARE(bob.UserRows(), (Lines{"host", "ann", "bob"}));
        QTRY_COMPARE(ann.UserRows(), (Lines{"host", "ann", "bob"}));
        // A client sees its own chat line only through the server's echo; a stroke is drawn
        // everywhere except where it was made.
        ann.Queue(zaplo::MessageCode::Chat, "{ann}hello");
        bob.Queue(zaplo::MessageCode::Draw, "10;20;30;40;65280;");
        QTRY_VERIFY(bob.Has("chat:{ann}hello") && server->Has("chat:{ann}hello"));
        QTRY_COMPARE(ann.Count("chat:{ann}hello"), 1);
        QTRY_COMPARE(ann.draws.size(), std::size_t{1});
        QCOMPARE(server->draws.size(), std::size_t{1});
        QVERIFY(bob.draws.empty());
        // The server's window goes: both hear of it once; later lines stay queued, unreported.
        server.reset();
        QTRY_VERIFY(ann.Has("status:Lost connection to server!") &&
                    bob.Has("status:Lost connection to server!"));
        ann.Queue(zaplo::MessageCode::Chat, "{ann}anyone?");
        ann.session->SendQueueTick();
        QCOMPARE(ann.state.colSendQueue.size(), std::size_t{1});
        QCOMPARE(ann.Count("status:Lost connection to server!"), 1);
        QVERIFY(!ann.Has("status:No Server!"));
    }

    void failedConnectionEndsTheWaitAtOnce_data() {
        QTest::addColumn<QString>("szHost");
        QTest::newRow("refused") << "127.0.0.1";
        QTest::newRow("unknown host") << "no-such-host.invalid";
    }
    void failedConnectionEndsTheWaitAtOnce() {
        QFETCH(QString, szHost);
        HeadlessHost ann(1, "ann", FreeLowPort());
        ann.state.szServerIP = szHost.toStdString();
        // Each reading moves the clock on: waiting out the deadline takes 600 readings.
        int32_t lNow = 0;
        ann.state.GetTicks = [&] { return lNow += 100; };
        ann.Start();
        QVERIFY(lNow < 30000);
        QCOMPARE(ann.log, (Lines{"status:Connecting...", "failed"}));
        // Every queued message, the join first, is reported at the next tick and dropped.
        ann.Queue(zaplo::MessageCode::Chat, "{ann}anyone?");
        ann.session->SendQueueTick();
        QCOMPARE(ann.Count("status:No Server!"), 2);
        QVERIFY(ann.state.colSendQueue.empty());
    }

    void silentHostWaitsTheFullDeadlineAsleep() {
        // A listener that never accepts, its queue full: a further attempt gets no answer.
        QTcpServer silent;
        silent.setListenBacklogSize(0);
        HeadlessHost ann(1, "ann", ListenLow(silent));
        silent.pauseAccepting();
        QTcpSocket filler;
        filler.connectToHost(QHostAddress::LocalHost, silent.serverPort());
        QVERIFY(filler.waitForConnected(5000));
        // Just before the counter wraps, so the deadline lies beyond the wrap.
        int32_t lNow = INT32_MAX - 20000;
        const int32_t lDeadline = zaplo::TicksAfter(lNow, 60000);
        int nReadings = 0;
        ann.state.GetTicks = [&] {
            ++nReadings;
            return lNow;
        };
        Lines logAtDeadline;
        QTimer::singleShot(30, [&] { lNow = lDeadline; });
        QTimer::singleShot(90, [&] {
            logAtDeadline = ann.log;
            lNow = zaplo::TicksAfter(lDeadline, 1);
        });
        ann.Start();
        // Reaching the deadline is not passing it.
        QCOMPARE(logAtDeadline, Lines{"status:Connecting..."});
        QCOMPARE(ann.log, (Lines{"status:Connecting...", "failed"}));
        // A spinning wait reads the clock hundreds of thousands of times in those 90 ms.
        QVERIFY2(nReadings < 1000, QByteArray::number(nReadings).constData());
    }
};

QTEST_GUILESS_MAIN(ClientLinkTest)
#include "tst_ClientLink.moc"
