// SPDX-License-Identifier: MIT
// What a lying or silent peer can do to a real server session, on the wire: it cannot speak as
// somebody else, listen without joining, or break everybody's user list.
#include "tests/links/ServerParty.h"

class PeerRulesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aSilentListenerGetsNothingAndIsClosed() {
        Party party({"ann", "bob"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        server.session->SetJoinWait(400);
        RawPeer silent(server.session->ListeningPort());
        QVERIFY(silent.WaitState(QTcpSocket::ConnectedState));
        // Chat, strokes, a join and a departure, queued and relayed lines alike.
        party[0].Send("{1}{ann}secret\r\n{10}1;2;3;4;5;\r\n");
        server.Queue(zaplo::MessageCode::Chat, "{host}also secret");
        QTRY_VERIFY(party[1].got.contains("{1}{host}also secret\r\n") &&
                    party[1].got.contains("{1}{ann}secret\r\n"));
        auto cid = Join(server, "cid");
        QVERIFY(cid);
        party[1].socket.disconnectFromHost();
        QVERIFY(
            party[0].TakeThrough("{8}host;ann;cid;\r\n").contains("bob has been disconnected!"));
        // Closed once its time to join is up, without a word to anybody.
        QVERIFY(silent.WaitState(QTcpSocket::UnconnectedState));
        QCOMPARE(silent.got, QByteArray());
        QCOMPARE(server.UserRows(), (Lines{"host", "ann", "cid"}));
        QCOMPARE(server.Count("status:ann has joined!") + server.Count("status:cid has joined!"),
                 2);
        QCOMPARE(server.session->HeldForSlot(3), 0);
        // A client that joins in time is served as always.
        RawPeer late(server.session->ListeningPort());
        QVERIFY(late.WaitState(QTcpSocket::ConnectedState));
        late.Send("{1}{late}not yet joined\r\n{2}late\r\n");
        QCOMPARE(late.TakeThrough("{8}"),
                 QByteArray("{9}late has joined!\r\n{8}host;ann;cid;late;\r\n"));
        QTest::qWait(600);
        QCOMPARE(late.socket.state(), QTcpSocket::ConnectedState);
        QVERIFY(!server.Has("chat:{late}not yet joined"));
    }

    void aForgedChatNameReachesEveryoneUnderTheRealOne() {
        Party party({"ann", "mallory"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        party[1].Send("{1}{host}the host says: everyone leave\r\n{1}no name at all\r\n");
        const QByteArray got = party[0].TakeThrough("no name at all\r\n");
        QCOMPARE(got, QByteArray("{1}{mallory}the host says: everyone leave\r\n"
                                 "{1}{mallory}no name at all\r\n"));
        QVERIFY(server.Has("chat:{mallory}the host says: everyone leave"));
        QVERIFY(!server.Has("chat:{host}the host says: everyone leave"));
        // An honest line goes out byte for byte, to its sender too.
        party[0].Send("{1}{ann}hi {there};\r\n");
        QCOMPARE(party[1].TakeThrough("{1}{ann}"),
                 QByteArray("{1}{mallory}the host says: everyone leave\r\n"
                            "{1}{mallory}no name at all\r\n{1}{ann}hi {there};\r\n"));
        // A leave, a status line and a user list from a client are nobody's.
        party[1].Send("{3}\r\n{9}ann has been disconnected!\r\n{8}x;y;\r\n{1}{mallory}still\r\n");
        QVERIFY(party[0]
                    .TakeThrough("still\r\n")
                    .endsWith("{1}{ann}hi {there};\r\n"
                              "{1}{mallory}still\r\n"));
        QCOMPARE(server.UserRows(), (Lines{"host", "ann", "mallory"}));
        QCOMPARE(party[1].socket.state(), QTcpSocket::ConnectedState);
    }

    void aNameWithTheListSeparatorKeepsEveryListOneRowPerUser() {
        Party party({"ann"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        RawPeer alice(server.session->ListeningPort());
        QVERIFY(alice.WaitState(QTcpSocket::ConnectedState));
        alice.Send("{2}alice;carol;\r\n");
        QCOMPARE(alice.TakeThrough("{8}"),
                 QByteArray("{9}alice,carol, has joined!\r\n{8}host;ann;alice,carol,;\r\n"));
        QCOMPARE(party[0].TakeThrough("{2}"), QByteArray("{2}alice,carol,\r\n"));
        auto dan = Join(server, "dan");
        QVERIFY(dan);
        party[0].socket.disconnectFromHost();
        QCOMPARE(dan->TakeThrough("{8}"),
                 QByteArray("{9}ann has been disconnected!\r\n{8}host;alice,carol,;dan;\r\n"));
        // Her own chat line, sent under the name she typed, comes back under the joined one.
        alice.Send("{1}{alice;carol;}hi\r\n");
        QVERIFY(alice.TakeThrough("hi\r\n").endsWith("{1}{alice,carol,}hi\r\n"));
    }
};

QTEST_GUILESS_MAIN(PeerRulesTest)
#include "tst_PeerRules.moc"
