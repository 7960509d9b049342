// SPDX-License-Identifier: MIT
// Server sessions driven by raw TCP peers: the exact bytes on the wire.
#include "tests/links/ServerParty.h"

#include <QTimer>

class ServerLinkTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void leaveSlotReuseAndFullTable() {
        Party party({"ann", "bob"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        party[0].socket.disconnectFromHost();
        QCOMPARE(party[1].TakeThrough("{8}"),
                 QByteArray("{9}ann has been disconnected!\r\n{8}host;bob;\r\n"));
        // The lowest free slot is taken again before the table grows.
        auto cid = Join(server, "cid");
        QVERIFY(cid);
        QCOMPARE(server.SlotNickname(1), std::optional<std::string>("cid"));
        // bob leaves from slot 2 although he now stands first among the clients.
        party[1].socket.disconnectFromHost();
        QCOMPARE(cid->TakeThrough("{8}"),
                 QByteArray("{9}bob has been disconnected!\r\n{8}host;cid;\r\n"));
        auto dan = Join(server, "dan");
        QVERIFY(dan);
        QCOMPARE(server.SlotNickname(2), std::optional<std::string>("dan"));
        QCOMPARE(server.state.nUsers, int16_t{2});
        // With the table full a newcomer is turned away; the others are served on.
        server.session->SetSlotLimit(2);
        RawPeer third(server.session->ListeningPort());
        QVERIFY(third.WaitState(QTcpSocket::UnconnectedState));
        QCOMPARE(server.state.nUsers, int16_t{2});
        dan->Send("{1}{dan}still here\r\n");
        QCOMPARE(cid->TakeThrough("here\r\n"), QByteArray("{2}dan\r\n{1}{dan}still here\r\n"));
    }

    void aDeparturesUserListIsTheListWhenItGoesOut() {
        Party party({"ann", "bob"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        // The queue held back: ann's departure waits in it while cid joins.
        auto* timer = server.session->findChild<QTimer*>(QStringLiteral("timerSendMsgs"));
        QVERIFY(timer != nullptr);
        const int nInterval = timer->interval();
        timer->setInterval(3600 * 1000);
        party[0].socket.disconnectFromHost();
        QTRY_VERIFY(server.Has("status:ann has been disconnected!"));
        auto cid = Join(server, "cid");
        QVERIFY(cid);
        server.session->SendQueueTick();
        timer->setInterval(nInterval);
        QCOMPARE(cid->TakeThrough("{8}"),
                 QByteArray("{9}ann has been disconnected!\r\n{8}host;bob;cid;\r\n"));
        QCOMPARE(party[1].TakeThrough("{8}host;bob;cid;\r\n"),
                 QByteArray("{2}cid\r\n{9}ann has been disconnected!\r\n{8}host;bob;cid;\r\n"));
    }

    void newClientIsShedWhenDescriptorsRunOut() {
        Party party({"ann", "bob"});
        QVERIFY(party.bReady);
        // The newcomers' own sockets exist before the descriptors run out.
        int waiting[3];
        for (int& fd : waiting) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        }
        const sockaddr_in address{
            AF_INET, htons(party.server->session->ListeningPort()), {htonl(INADDR_LOOPBACK)}, {}};
        bool bShed = false;
        QByteArray served;
        {
            NoDescriptorsLeft limit;
            QVERIFY(limit.bOk);
            for (const int fd : waiting) {
                ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            }
            bShed = QTest::qWaitFor([&] { return std::ranges::all_of(waiting, SeesClose); });
            party[0].Send("{1}{ann}no descriptors left\r\n");
            served = party[1].TakeThrough("left\r\n");
        }
        for (const int fd : waiting) {
            ::close(fd);
        }
        QVERIFY(bShed);
        QCOMPARE(served, QByteArray("{1}{ann}no descriptors left\r\n"));
        QCOMPARE(party.server->state.nUsers, int16_t{2});
        // With descriptors back, clients are accepted again.
        QVERIFY(Join(*party.server, "cid"));
        QCOMPARE(party.server->state.nUsers, int16_t{3});
    }

    void queueWaitsForTheFirstClientAndIsBoundedMeanwhile() {
        auto server = StartServer();
        server->Queue(zaplo::MessageCode::Chat, "{host}early");
        server->Queue(zaplo::MessageCode::Clear, "");
        server->session->SendQueueTick();
        QCoreApplication::processEvents();
        QCOMPARE(server->state.colSendQueue.size(), std::size_t{2});
        auto ann = Join(*server);
        QVERIFY(ann);
        // Nothing goes out before the first join; then the answer and what waited.
        ann->Send("{2}ann\r\n");
        QCOMPARE(ann->TakeThrough("{11}\r\n"),
                 QByteArray("{9}ann has joined!\r\n{8}host;ann;\r\n{1}{host}early\r\n{11}\r\n"));
        // Everybody gone: the queue still empties, with nobody to send to.
        ann->socket.disconnectFromHost();
        QTRY_VERIFY(server->Has("status:ann has been disconnected!"));
        server->Queue(zaplo::MessageCode::Chat, "{host}alone");
        QTRY_VERIFY(server->state.colSendQueue.empty());

        // Before anybody connects, only the newest messages are kept.
        HeadlessHost idle(0, "host", 0);
        for (std::size_t i = 0; i < zaplo::kMaxQueuedWhileDown + 2; ++i) {
            idle.Queue(zaplo::MessageCode::Chat, std::to_string(i));
        }
        QCOMPARE(idle.state.colSendQueue.size(), zaplo::kMaxQueuedWhileDown);
        QCOMPARE(idle.state.colSendQueue.front(), std::string("{1}2"));
    }

    void linesSurviveOddArrivals() {
        Party party({"ann", "bob"});
        auto cid = Join(*party.server);
        QVERIFY(party.bReady && cid);
        // A message split byte by byte arrives whole.
        for (const char c : QByteArray("{2}cid\r\n{10}7;8;9;10;65535;\r\n")) {
            cid->Send(QByteArray(1, c));
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
        }
        QCOMPARE(party[1].TakeThrough("65535;\r\n"),
                 QByteArray("{2}cid\r\n{10}7;8;9;10;65535;\r\n"));
        QVERIFY(cid->TakeThrough("{8}").endsWith("{9}cid has joined!\r\n{8}host;ann;bob;cid;\r\n"));
        RawPeer& ann = party[0];
        // A megabyte without CR LF swallows the line it runs into; the line after is served.
        ann.Send(QByteArray(1 << 20, 'x') + "{1}{ann}swallowed\r\n{1}{ann}after\r\n");
        QCOMPARE(party[1].TakeThrough("after\r\n"), QByteArray("{1}{ann}after\r\n"));

        // The second block arrives and is taken in by Qt while the first is dispatched; Qt does
        // not report it again, so only reading on afterwards finds it.
        const int fd = ServerSideFd(ann);
        bool bSent = false;
        bool bSeen = true;
        party.server->onDraw = [&](const zaplo::DrawRecord&) {
            if (!std::exchange(bSent, true)) {
                ann.Send("{1}{ann}second block\r\n");
                bSeen = RunEventsOnceReady(fd, POLLIN);
            }
        };
        ann.Send("{10}1;1;2;2;0;\r\n");
        QTRY_VERIFY(party[1].got.contains("{10}") && party[1].got.contains("second block\r\n"));
        QVERIFY(bSeen);
        party[1].got.clear();

        // ann's close is reported while her stroke is dispatched: she leaves after her lines.
        party.server->onDraw = [&](const zaplo::DrawRecord&) {
            bSeen = RunEventsOnceReady(fd, POLLRDHUP);
        };
        ann.Send("{10}1;1;2;2;0;\r\n{1}{ann}bye\r\n");
        ann.socket.disconnectFromHost();
        QCOMPARE(party[1].TakeThrough("{8}"), QByteArray("{10}1;1;2;2;0;\r\n{1}{ann}bye\r\n"
                                                         "{9}ann has been disconnected!\r\n"
                                                         "{8}host;bob;cid;\r\n"));
        QVERIFY(bSeen);
    }

    void clientKilledMidRelay() {
        Party party({"ann", "bob", "cid"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        server.session->SetEventInterval(0);
        server.onDraw = [&](const zaplo::DrawRecord& record) {
            if (record.clr == 1000) {
                party[1].socket.abort();
            }
        };
        const QByteArray strokes = DrawLines(5000);
        party[0].Send(strokes);
        // The departure goes out through the queue, whose ticks may come amid the relay.
        const QByteArray departure("{9}bob has been disconnected!\r\n{8}host;ann;cid;\r\n");
        QVERIFY(party[2].WaitBytes(strokes.size() + departure.size(), 30000));
        QCOMPARE(party[2].got.count(departure), 1);
        QCOMPARE(party[2].got.replace(departure, ""), strokes);
        QCOMPARE(server.draws.size(), std::size_t{5000});
        QVERIFY(Join(server, "dan"));
        QCOMPARE(server.SlotNickname(2), std::optional<std::string>("dan"));
    }

    void exitClosesEveryConnectionOfTheServerOnly() {
        Party party({"ann"});
        QVERIFY(party.bReady);
        HeadlessHost bob(1, "bob", party.server->state.nPort);
        bob.Start();
        QTRY_COMPARE(bob.UserRows(), (Lines{"host", "ann", "bob"}));
        // A client's Exit leaves its connection to the end of the process.
        bob.session->CloseForExit();
        party[0].Send("{1}{ann}still there?\r\n");
        QTRY_VERIFY(bob.Has("chat:{ann}still there?"));
        party.server->session->CloseForExit();
        QVERIFY(party[0].WaitState(QTcpSocket::UnconnectedState));
        QTRY_VERIFY(bob.Has("status:Lost connection to server!"));
        QCOMPARE(party.server->session->ListeningPort(), uint16_t{0});
        // Closing them itself, the server announces nobody's departure.
        QCoreApplication::processEvents();
        QCOMPARE(party.server->UserRows(), (Lines{"host", "ann", "bob"}));
    }

    void everyAddressTakesIPv6AndIPv4Clients() {
        HeadlessHost server(0, "host", FreeLowPort());
        server.state.szListenHost.clear();
        server.Start();
        const uint16_t nPort = server.session->ListeningPort();
        RawPeer six(nPort, QHostAddress(QHostAddress::LocalHostIPv6));
        RawPeer four(nPort, QHostAddress(QHostAddress::LocalHost));
        QVERIFY(six.WaitState(QTcpSocket::ConnectedState));
        QVERIFY(four.WaitState(QTcpSocket::ConnectedState));
        six.Send("{2}six\r\n");
        QVERIFY(six.TakeThrough("{8}").endsWith("{8}host;six;\r\n"));
        four.Send("{2}four\r\n");
        QVERIFY(four.TakeThrough("{8}").endsWith("{8}host;six;four;\r\n"));
    }

    void listenFailureIsAStatusLine_data() {
        QTest::addColumn<int>("nPort"); // 0: a port that is in use
        QTest::addColumn<QString>("szReason");
        QTest::newRow("in use") << 0 << "address already in use";
        QTest::newRow("out of range") << -5 << "port out of range";
        QTest::newRow("below 1024")
            << 201 << "permission denied (ports below 1024 need administrator rights)";
    }
    void listenFailureIsAStatusLine() {
        QFETCH(int, nPort);
        QFETCH(QString, szReason);
        QTcpServer taken;
        if (nPort == 0) {
            nPort = ListenLow(taken);
        }
        NoLowPorts noLowPorts;
        QVERIFY(noLowPorts.bOk);
        HeadlessHost server(0, "host", static_cast<int16_t>(nPort));
        server.Start();
        QCOMPARE(server.log, (Lines{"status:Waiting for a client to join...",
                                    "status:Cannot listen on port " + std::to_string(nPort) + ": " +
                                        szReason.toStdString()}));
        QCOMPARE(server.session->ListeningPort(), uint16_t{0});
    }

    void tickDoesNotStartInsideATickEventsRunBatched() {
        Party party({"ann", "bob"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        // While the tick lets events run after slot 1, a message is queued and another tick
        // comes: that one does nothing, the new message waits for the next tick.
        QTimer::singleShot(0, [&] {
            server.Queue(zaplo::MessageCode::Chat, "{host}second");
            server.session->SendQueueTick();
        });
        server.Queue(zaplo::MessageCode::Chat, "{host}first");
        server.session->SendQueueTick();
        QCOMPARE(server.state.colSendQueue, std::deque<std::string>{"{1}{host}second"});
        for (const auto& peer : party.peers) {
            QCOMPARE(peer->TakeThrough("second\r\n"),
                     QByteArray("{1}{host}first\r\n{1}{host}second\r\n"));
        }

        // A stopped clock: within one interval the relay lets no events run; once the clock
        // has moved on by the interval, the next relay runs them.
        int32_t lNow = 1000;
        server.state.GetTicks = [&] { return lNow; };
        const int64_t nRuns = server.session->EventRuns();
        party[0].Send(DrawLines(2000));
        QTRY_COMPARE(server.draws.size(), std::size_t{2000});
        QCOMPARE(server.session->EventRuns(), nRuns);
        server.onDraw = [&](const zaplo::DrawRecord&) {
            lNow += zaplo::NetSession::kEventIntervalMs;
        };
        party[0].Send(DrawLines(1));
        QTRY_COMPARE(server.session->EventRuns(), nRuns + 1);
    }
};

QTEST_GUILESS_MAIN(ServerLinkTest)
#include "tst_ServerLink.moc"
