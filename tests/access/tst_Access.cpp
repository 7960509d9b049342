// SPDX-License-Identifier: MIT
// Who may join a real server session, on the wire: the password's challenge and answer, bans,
// the user limit, the per-address cap and the bound on guessing; and clients that answer.
#include "tests/links/ServerParty.h"

#include "base/Ticks.h"
#include "net/SessionPassword.h"

#include <QRegularExpression>

namespace {

constexpr const char* kPassword = "open sesame";

std::unique_ptr<HeadlessHost> StartProtected(const char* szPassword = kPassword) {
    auto server = std::make_unique<HeadlessHost>(0, "host", FreeLowPort());
    server->state.szSessionPassword = szPassword;
    server->Start();
    return server;
}

// The challenge a raw peer was sent first; empty when it got no challenge line.
QByteArray ChallengeOf(RawPeer& peer) {
    (void)peer.WaitBytes(4 + 32 + 2);
    static const QRegularExpression challenge(QStringLiteral("^\\{12\\}([0-9a-f]{32})\r\n"));
    const QRegularExpressionMatch match = challenge.match(QString::fromLatin1(peer.got));
    if (!match.hasMatch()) {
        return {};
    }
    peer.got.remove(0, 4 + 32 + 2);
    return match.captured(1).toLatin1();
}

QByteArray AnswerLine(const QByteArray& challenge, const char* szPassword = kPassword) {
    return "{12}" +
           QByteArray::fromStdString(
               zaplo::SessionPassword::AnswerFor(szPassword, challenge.toStdString())) +
           "\r\n";
}

// Waits until the server has closed the peer's connection; what it got is then complete.
bool ClosedWith(RawPeer& peer, const QByteArray& szLine) {
    return peer.WaitState(QTcpSocket::UnconnectedState) && peer.got == szLine;
}

} // namespace

class AccessTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void thePasswordLetsInOnlyTheRightAnswerToThisConnectionsChallenge() {
        auto server = StartProtected();
        // The first line a connection gets is its own challenge; an answer with the right HMAC
        // lets its join count as ever.
        RawPeer ann(server->session->ListeningPort());
        const QByteArray annChallenge = ChallengeOf(ann);
        QVERIFY(!annChallenge.isEmpty());
        ann.Send(AnswerLine(annChallenge) + "{2}ann\r\n");
        QCOMPARE(ann.TakeThrough("{8}"), QByteArray("{9}ann has joined!\r\n{8}host;ann;\r\n"));
        // A wrong password, an answer overheard on ann's connection, no answer at all, and a
        // client without the feature that sends its join at once: one status line, the close.
        RawPeer wrong(server->session->ListeningPort());
        const QByteArray wrongChallenge = ChallengeOf(wrong);
        QVERIFY(wrongChallenge != annChallenge && !wrongChallenge.isEmpty());
        wrong.Send(AnswerLine(wrongChallenge, "open sesame!") + "{2}eve\r\n");
        RawPeer replay(server->session->ListeningPort());
        QVERIFY(!ChallengeOf(replay).isEmpty());
        replay.Send(AnswerLine(annChallenge) + "{2}eve\r\n");
        RawPeer silent(server->session->ListeningPort());
        QVERIFY(!ChallengeOf(silent).isEmpty());
        silent.Send("{2}eve\r\n");
        RawPeer old(server->session->ListeningPort());
        QVERIFY(old.WaitState(QTcpSocket::ConnectedState));
        old.Send("{2}old\r\n{1}{old}hello\r\n");
        QVERIFY(ClosedWith(wrong, "{9}Wrong password.\r\n"));
        QVERIFY(ClosedWith(replay, "{9}Wrong password.\r\n"));
        QVERIFY(ClosedWith(silent, "{9}This session needs a password.\r\n"));
        QVERIFY(old.WaitState(QTcpSocket::UnconnectedState));
        QVERIFY(QRegularExpression(QStringLiteral("^\\{12\\}[0-9a-f]{32}\r\n"
                                                  "\\{9\\}This session needs a password.\r\n$"))
                    .match(QString::fromLatin1(old.got))
                    .hasMatch());
        QCOMPARE(server->session->HeldForSlot(2), 0);
        // Nobody heard of any of them: ann gets only what came after.
        server->Queue(zaplo::MessageCode::Chat, "{host}after");
        QCOMPARE(ann.TakeThrough("after"), QByteArray("{1}{host}after\r\n"));
        QCOMPARE(server->UserRows(), (Lines{"host", "ann"}));
        QCOMPARE(server->log,
                 (Lines{"status:Waiting for a client to join...", "status:ann has joined!"}));
        QCOMPARE(server->Host().Access().PasswordChecks(), int64_t{3});
        // One answer per connection: a second one and one after the join are skipped.
        RawPeer twice(server->session->ListeningPort());
        const QByteArray twiceChallenge = ChallengeOf(twice);
        twice.Send(AnswerLine(twiceChallenge) + AnswerLine(twiceChallenge, "x") + "{2}bob\r\n" +
                   AnswerLine(twiceChallenge, "y") + "{1}{bob}in\r\n");
        QCOMPARE(twice.TakeThrough("in\r\n"),
                 QByteArray("{9}bob has joined!\r\n{8}host;ann;bob;\r\n{1}{bob}in\r\n"));
        QCOMPARE(server->Host().Access().PasswordChecks(), int64_t{4});
        // Without the password again, new connections get no challenge.
        server->Host().Access().SetPassword(std::nullopt);
        QVERIFY(!server->Host().Access().HasPassword());
        auto cid = Join(*server, "cid");
        QVERIFY(cid);
    }

    void clientsAnswerWithTheirPasswordAndHearWhyTheyWereClosed() {
        auto server = StartProtected();
        HeadlessHost ann(1, "ann", server->state.nPort);
        ann.state.szSessionPassword = kPassword;
        ann.Start();
        QTRY_COMPARE(ann.UserRows(), (Lines{"host", "ann"}));
        HeadlessHost typo(1, "typo", server->state.nPort);
        typo.state.szSessionPassword = "open sesame?";
        typo.Start();
        HeadlessHost none(1, "none", server->state.nPort);
        none.Start();
        QTRY_VERIFY(typo.Has("password:wrong") && none.Has("password:needed"));
        QVERIFY(typo.Has("status:Wrong password.") && !typo.Has("password:needed"));
        QVERIFY(none.Has("status:This session needs a password."));
        QCOMPARE(server->UserRows(), (Lines{"host", "ann"}));
        QCOMPARE(ann.UserRows(), (Lines{"host", "ann"}));
        // A refusal that is not about the password asks for none.
        server->Host().Access().SetMaxUsers(1);
        HeadlessHost late(1, "late", server->state.nPort);
        late.state.szSessionPassword = kPassword;
        late.Start();
        QTRY_VERIFY(late.Has("status:Lost connection to server!"));
        QVERIFY(late.Has("status:The session is full."));
        QCoreApplication::processEvents();
        QVERIFY(!late.Has("password:wrong") && !late.Has("password:needed"));
        // A client with a password at an open session joins once the wait for a challenge is up.
        auto open = std::make_unique<HeadlessHost>(0, "host", FreeLowPort());
        open->Start();
        HeadlessHost keen(1, "keen", open->state.nPort);
        keen.state.szSessionPassword = kPassword;
        keen.Host().SetChallengeWait(100);
        keen.Start();
        QTRY_COMPARE(keen.UserRows(), (Lines{"host", "keen"}));
        QVERIFY(!keen.Has("password:needed"));
    }

    void bansRefuseAnAddressUntilLifted() {
        Party party({"ann", "bob"});
        QVERIFY(party.bReady);
        zaplo::SessionHost& host = party.server->Host();
        QCOMPARE(host.Access().AddressOf(1), std::string("127.0.0.1"));
        QCOMPARE(host.Access().AddressOf(7), std::string());
        QVERIFY(!host.Access().Ban(7));
        // Banned: gone as any departure, and refused from then on.
        QVERIFY(host.Access().Ban(1));
        QCOMPARE(party[1].TakeThrough("{8}"),
                 QByteArray("{9}ann has been disconnected!\r\n{8}host;bob;\r\n"));
        QCOMPARE(host.Access().Bans(), (Lines{"127.0.0.1"}));
        RawPeer banned(party.server->session->ListeningPort());
        QVERIFY(ClosedWith(banned, "{9}You are banned from this session.\r\n"));
        // Lifted in another spelling of the same address; then banned again as a network.
        QVERIFY(!host.Access().Unban("127.0.0.2"));
        QVERIFY(host.Access().Unban("::ffff:127.0.0.1"));
        QVERIFY(host.Access().Bans().empty());
        auto cid = Join(*party.server, "cid");
        QVERIFY(cid);
        QVERIFY(!host.Access().AddBan("127.0.0.1/40"));
        QVERIFY(!host.Access().AddBan("localhost"));
        QVERIFY(host.Access().AddBan("127.0.0.0/8"));
        QVERIFY(host.Access().AddBan("2001:db8:1:2::/64"));
        QVERIFY(!host.Access().AddBan("127.1.2.3/8"));
        QCOMPARE(host.Access().Bans(), (Lines{"127.0.0.0/8", "2001:db8:1:2::/64"}));
        RawPeer again(party.server->session->ListeningPort());
        QVERIFY(ClosedWith(again, "{9}You are banned from this session.\r\n"));
        // Those already in stay.
        cid->Send("{1}{cid}still here\r\n");
        QVERIFY(party[1].TakeThrough("here\r\n").endsWith("{1}{cid}still here\r\n"));
        QCOMPARE(party.server->UserRows(), (Lines{"host", "bob", "cid"}));
    }

    void theUserLimitAndThePerAddressCap() {
        Party party({"ann", "bob"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        server.Host().Access().SetMaxUsers(2);
        RawPeer cid(server.session->ListeningPort());
        QVERIFY(cid.WaitState(QTcpSocket::ConnectedState));
        cid.Send("{2}cid\r\n");
        QVERIFY(ClosedWith(cid, "{9}The session is full.\r\n"));
        party[0].socket.disconnectFromHost();
        QVERIFY(party[1].TakeThrough("{8}").contains("ann has been disconnected!"));
        auto dan = Join(server, "dan");
        QVERIFY(dan);
        QCOMPARE(server.UserRows(), (Lines{"host", "bob", "dan"}));
        QVERIFY(party[1].TakeThrough("{2}dan\r\n").endsWith("{2}dan\r\n"));
        // Two connections from one address at most (bob and dan are those two); the limit
        // counts joined ones and the cap every open one.
        server.Host().Access().SetMaxUsers(0);
        server.Host().Access().SetMaxPerAddress(3);
        RawPeer third(server.session->ListeningPort());
        QVERIFY(third.WaitState(QTcpSocket::ConnectedState));
        RawPeer fourth(server.session->ListeningPort());
        QVERIFY(ClosedWith(fourth, "{9}Too many connections from your address.\r\n"));
        QCOMPARE(third.socket.state(), QTcpSocket::ConnectedState);
        third.Send("{2}eve\r\n");
        QVERIFY(third.TakeThrough("{8}").endsWith("{8}host;bob;dan;eve;\r\n"));
        QCOMPARE(party[1].TakeThrough("{2}eve\r\n"), QByteArray("{2}eve\r\n"));
    }

    void aThousandWrongAnswersFromOneAddressAreHardlyLookedAt() {
        // The clock moves on by hand: 25 rounds of 40 connections, the accept gate's burst, two
        // seconds apart, so a thousand answers arrive within 50 seconds.
        int32_t lOffset = 0;
        auto server = std::make_unique<HeadlessHost>(0, "host", FreeLowPort());
        server->state.GetTicks = [&] { return zaplo::TicksAfter(zaplo::GetTicks(), lOffset); };
        server->state.szSessionPassword = kPassword;
        server->Start();
        int nAnswers = 0;
        int nWrong = 0;
        int nWaiting = 0;
        for (int nRound = 0; nRound < 25; ++nRound) {
            std::vector<std::unique_ptr<RawPeer>> peers;
            for (int i = 0; i < 40; ++i) {
                peers.push_back(std::make_unique<RawPeer>(server->session->ListeningPort()));
            }
            for (auto& peer : peers) {
                QVERIFY(peer->WaitBytes(1));
                const QByteArray challenge = ChallengeOf(*peer);
                // Refused at the accept, or answered (wrongly) and then refused.
                peer->Send(
                    AnswerLine(challenge.isEmpty() ? QByteArray(32, '0') : challenge, "guess"));
                ++nAnswers;
            }
            for (auto& peer : peers) {
                QVERIFY(peer->WaitState(QTcpSocket::UnconnectedState));
                nWrong += peer->got == "{9}Wrong password.\r\n" ? 1 : 0;
                nWaiting +=
                    peer->got == "{9}Too many wrong passwords; try again later.\r\n" ? 1 : 0;
            }
            lOffset += 2000;
        }
        QCOMPARE(nAnswers, 1000);
        QCOMPARE(server->Host().Access().PasswordChecks(), int64_t{5});
        QCOMPARE(nWrong, 5);
        QCOMPARE(nWaiting, 995);
        QCOMPARE(server->UserRows(), Lines{"host"});
        // The wait over, the right password gets in.
        lOffset += 60'000;
        RawPeer ann(server->session->ListeningPort());
        const QByteArray challenge = ChallengeOf(ann);
        QVERIFY(!challenge.isEmpty());
        ann.Send(AnswerLine(challenge) + "{2}ann\r\n");
        QCOMPARE(ann.TakeThrough("{8}"), QByteArray("{9}ann has joined!\r\n{8}host;ann;\r\n"));
    }
};

QTEST_GUILESS_MAIN(AccessTest)
#include "tst_Access.moc"
