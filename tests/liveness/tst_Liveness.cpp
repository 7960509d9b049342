// SPDX-License-Identifier: MIT
// Peers that vanish without a word, noticed by the transport alone: the options on every socket,
// live peers behind a shut receive window (one reading slowly, one not at all), and over a
// network namespace a peer whose link is taken down (idle, with data waiting, the client's server)
// and a slow link that keeps up, which must never be cut.
//
// The namespace cases run with short timeouts; ZAPLO_LIVENESS_REAL=1 runs them with the real
// ones and prints the detection times (about a minute).
#include "tests/liveness/NetNamespace.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/LoopbackSocket.h"
#include "tests/support/RawPeer.h"
#include "tests/support/TestCertificates.h"

#include "net/FlowLedger.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <atomic>
#include <netinet/tcp.h>
#include <poll.h>
#include <thread>

namespace {

bool RealTimeouts() {
    return qEnvironmentVariableIntValue("ZAPLO_LIVENESS_REAL") == 1;
}

// Short ones for the suite: idle 1 s + 2 probes x 1 s = 3 s, user timeout 1.5 s.
zaplo::LinkTimeouts Quick() {
    if (RealTimeouts()) {
        return {};
    }
    zaplo::LinkTimeouts timeouts;
    timeouts.nIdleS = 1;
    timeouts.nIntervalS = 1;
    timeouts.nProbes = 2;
    timeouts.nUserTimeoutMs = 1500;
    return timeouts;
}

std::unique_ptr<HeadlessHost> Server(const zaplo::LinkTimeouts& timeouts,
                                     const QString& listen = QStringLiteral("127.0.0.1")) {
    auto server = std::make_unique<HeadlessHost>(0, "host", FreeLowPort());
    server->state.linkTimeouts = timeouts;
    server->state.szListenHost = listen.toStdString();
    server->Start();
    return server;
}

// Sends a join on fd and reads until the answer's user list has come; false if it does not.
bool JoinOn(int fd, const std::string& szNick) {
    const std::string szJoin = "{2}" + szNick + "\r\n";
    if (::send(fd, szJoin.data(), szJoin.size(), MSG_NOSIGNAL) <= 0) {
        return false;
    }
    std::string szGot;
    char buffer[4096];
    while (szGot.find("{8}") == std::string::npos || szGot.back() != '\n') {
        pollfd ready{fd, POLLIN, 0};
        QCoreApplication::processEvents();
        if (::poll(&ready, 1, 10) == 1) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0) {
                return false;
            }
            szGot.append(buffer, static_cast<std::size_t>(n));
        }
        if (szGot.size() > 100000) {
            return false;
        }
    }
    return true;
}

int Option(int fd, int nLevel, int nName) {
    int nValue = -1;
    socklen_t nLength = sizeof nValue;
    return ::getsockopt(fd, nLevel, nName, &nValue, &nLength) == 0 ? nValue : -1;
}

// The descriptors of this process's TCP sockets whose local or peer port is nPort.
std::vector<int> SocketsAt(uint16_t nPort, bool bPeer) {
    std::vector<int> fds;
    for (int fd = 3; fd < 4096; ++fd) {
        sockaddr_in address{};
        socklen_t nLength = sizeof address;
        const int nGot = bPeer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &nLength)
                               : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &nLength);
        if (nGot == 0 && address.sin_family == AF_INET && ntohs(address.sin_port) == nPort &&
            Option(fd, SOL_SOCKET, SO_ACCEPTCONN) == 0) {
            fds.push_back(fd);
        }
    }
    return fds;
}

// Milliseconds until server logs szLine, at most nMs; -1 when it does not.
qint64 MsUntil(const HeadlessHost& host, const std::string& szLine, int nMs) {
    QElapsedTimer clock;
    clock.start();
    if (!QTest::qWaitFor([&] { return host.Has(szLine); }, nMs)) {
        return -1;
    }
    return clock.elapsed();
}

void Report(const char* szWhat, qint64 nMs, int nBoundMs) {
    qInfo("%s: %.1f s (%s; the program's bound %d s)", szWhat, static_cast<double>(nMs) / 1000.0,
          RealTimeouts() ? "real timeouts" : "short timeouts", nBoundMs / 1000);
}

} // namespace

class LivenessTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void timeoutsAreSetOnBothEndsOfEveryLink() {
        const zaplo::LinkTimeouts real;
        // The numbers keep the promised bounds: idle within 60 s, data waiting within 20 s with
        // room for the first send after the peer went away and for the watch's looks.
        QVERIFY(real.IdleBoundMs() <= 60000);
        QVERIFY(real.nUserTimeoutMs > 0 && real.nUserTimeoutMs <= 16000);

        // Plain, and over TLS where the server's side waits for the first byte first.
        TestCertificates certs;
        const bool bTls = TestCertificates::Available() && certs.SelfSigned(QStringLiteral("host"));
        for (const bool bOverTls : {false, true}) {
            if (bOverTls && !bTls) {
                qInfo("no openssl command: the options over TLS are not checked");
                break;
            }
            auto server = std::make_unique<HeadlessHost>(0, "host", FreeLowPort());
            if (bOverTls) {
                server->state.szTlsCert = certs.Cert(QStringLiteral("host")).toStdString();
                server->state.szTlsKey = certs.Key(QStringLiteral("host")).toStdString();
            }
            server->Start();
            HeadlessHost ann(1, "ann", server->state.nPort);
            ann.state.bTls = bOverTls;
            ann.state.szTlsFingerprint =
                bOverTls ? TestCertificates::Fingerprint(certs.Cert(QStringLiteral("host"))) : "";
            ann.Start();
            QTRY_COMPARE(server->UserRows(), (Lines{"host", "ann"}));
            const uint16_t nPort = server->session->ListeningPort();
            const std::vector<int> accepted = SocketsAt(nPort, false);
            const std::vector<int> dialled = SocketsAt(nPort, true);
            QCOMPARE(accepted.size(), std::size_t{1});
            QCOMPARE(dialled.size(), std::size_t{1});
            for (const int fd : {accepted[0], dialled[0]}) {
                QCOMPARE(Option(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
                QCOMPARE(Option(fd, IPPROTO_TCP, TCP_KEEPIDLE), real.nIdleS);
                QCOMPARE(Option(fd, IPPROTO_TCP, TCP_KEEPINTVL), real.nIntervalS);
                QCOMPARE(Option(fd, IPPROTO_TCP, TCP_KEEPCNT), real.nProbes);
                // Not TCP's: it would also end a live reader that keeps its window shut.
                QCOMPARE(Option(fd, IPPROTO_TCP, TCP_USER_TIMEOUT), 0);
            }
        }
    }

    void slowReaderBehindAShutWindowStaysAndAStuckOneGoes() {
        // Both are alive and answer with a shut window for longer than the silence bound: the
        // one that reads, slowly, gets everything; the one that never reads is let go by the
        // relay's own rules.
        zaplo::LinkTimeouts timeouts;
        timeouts.nUserTimeoutMs = 1000;
        auto server = Server(timeouts);
        auto talker = std::make_unique<RawPeer>(server->session->ListeningPort());
        QVERIFY(talker->WaitState(QTcpSocket::ConnectedState));
        talker->Send("{2}talker\r\n");
        QVERIFY(talker->TakeThrough("{8}").endsWith("\r\n"));
        const int slow = LoopbackSocket(server->session->ListeningPort(), 8192);
        const int stuck = LoopbackSocket(server->session->ListeningPort(), 8192);
        QVERIFY(slow >= 0 && JoinOn(slow, "slow"));
        QVERIFY(stuck >= 0 && JoinOn(stuck, "stuck"));
        QByteArray lines;
        for (int i = 0; i < 80; ++i) {
            lines += "{1}{talker}" + QByteArray(1250, static_cast<char>('a' + i % 26)) + "\r\n";
        }
        lines += "{1}{talker}end\r\n";
        talker->Send(lines);
        // 32 KB/s, as a slow link delivers it: about 3 s for it all, its window shut most of
        // that time.
        std::atomic<bool> bAll{false};
        std::atomic<bool> bClosed{false};
        QByteArray got; // the reader's until it is joined
        std::thread reader([&] {
            char buffer[320];
            while (!bAll && !bClosed) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                const ssize_t n = ::recv(slow, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN)) {
                    bClosed = true;
                }
                if (n > 0) {
                    got.append(buffer, n);
                    bAll = got.contains("{1}{talker}end\r\n");
                }
            }
        });
        const qint64 nMs = MsUntil(*server, "status:stuck has been disconnected!", 10000);
        QVERIFY(QTest::qWaitFor([&] { return bAll || bClosed; }, 10000));
        reader.join();
        ::close(slow);
        ::close(stuck);
        QVERIFY2(nMs >= 0 && nMs <= zaplo::FlowLedger::kMaxLagMs + 1000,
                 QByteArray::number(nMs).constData());
        QVERIFY(!bClosed);
        // Every chat line, in order; the news of the stuck one's departure may come between them.
        QByteArray chat;
        for (const QByteArray& line : got.split('\n')) {
            chat += line.startsWith("{1}") ? line + '\n' : QByteArray();
        }
        QCOMPARE(chat, lines);
        QVERIFY(!server->Has("status:slow has been disconnected!"));
        QVERIFY(!server->Has("status:talker has been disconnected!"));
    }

    void vanishedIdlePeerIsAnnouncedDeparted() {
        NetNamespace ns;
        if (!ns.Ok()) {
            QSKIP("cannot make a network namespace here (needs root or CAP_NET_ADMIN and the ip "
                  "command)");
        }
        const zaplo::LinkTimeouts timeouts = Quick();
        auto server = Server(timeouts, ns.HereAddress());
        RawPeer watcher(server->session->ListeningPort(), QHostAddress(ns.HereAddress()));
        QVERIFY(watcher.WaitState(QTcpSocket::ConnectedState));
        watcher.Send("{2}watcher\r\n");
        const int ghost = ns.Connect(ns.HereAddress(), server->session->ListeningPort());
        QVERIFY(ghost >= 0);
        QVERIFY(JoinOn(ghost, "ghost"));
        QTRY_COMPARE(server->UserRows(), (Lines{"host", "watcher", "ghost"}));
        QVERIFY(ns.Vanish());
        const qint64 nMs =
            MsUntil(*server, "status:ghost has been disconnected!", timeouts.IdleBoundMs() + 10000);
        ::close(ghost);
        Report("idle peer vanished, server announces it", nMs, 60000);
        QVERIFY2(nMs >= timeouts.nIdleS * 1000 && nMs <= timeouts.IdleBoundMs() + 2000,
                 QByteArray::number(nMs).constData());
        QTRY_VERIFY(watcher.got.contains("{9}ghost has been disconnected!\r\n"));
    }

    void vanishedPeerWithDataWaitingIsAnnouncedSooner() {
        NetNamespace ns;
        if (!ns.Ok()) {
            QSKIP("cannot make a network namespace here (needs root or CAP_NET_ADMIN and the ip "
                  "command)");
        }
        zaplo::LinkTimeouts timeouts = Quick();
        if (!RealTimeouts()) {
            timeouts.nIdleS = 30; // keep-alive out of the way: the silence watch decides
        }
        auto server = Server(timeouts, ns.HereAddress());
        RawPeer talker(server->session->ListeningPort(), QHostAddress(ns.HereAddress()));
        QVERIFY(talker.WaitState(QTcpSocket::ConnectedState));
        talker.Send("{2}talker\r\n");
        const int ghost = ns.Connect(ns.HereAddress(), server->session->ListeningPort());
        QVERIFY(ghost >= 0 && JoinOn(ghost, "ghost"));
        QVERIFY(ns.Vanish());
        // Five chat lines a second, each relayed to the ghost too.
        int nSent = 0;
        QTimer chat;
        QObject::connect(&chat, &QTimer::timeout, [&] {
            talker.Send("{1}{talker}line " + QByteArray::number(++nSent) + "\r\n");
        });
        chat.start(200);
        const qint64 nMs = MsUntil(*server, "status:ghost has been disconnected!",
                                   timeouts.nUserTimeoutMs + 10000);
        chat.stop();
        ::close(ghost);
        Report("peer vanished while data waits for it, server announces it", nMs, 20000);
        QVERIFY2(nMs >= timeouts.nUserTimeoutMs && nMs <= timeouts.nUserTimeoutMs + 1500,
                 QByteArray::number(nMs).constData());
        QVERIFY(!server->Has("status:talker has been disconnected!"));
    }

    void clientWhoseServerVanishedLosesIt() {
        NetNamespace ns;
        if (!ns.Ok()) {
            QSKIP("cannot make a network namespace here (needs root or CAP_NET_ADMIN and the ip "
                  "command)");
        }
        const zaplo::LinkTimeouts timeouts = Quick();
        const auto nPort = static_cast<int16_t>(20000 + QRandomGenerator::global()->bounded(12000));
        const int listener = ns.Listen(static_cast<uint16_t>(nPort));
        QVERIFY(listener >= 0);
        HeadlessHost ann(1, "ann", nPort);
        ann.state.szServerIP = ns.ThereAddress().toStdString();
        ann.state.linkTimeouts = timeouts;
        ann.Start();
        QVERIFY(!ann.Has("failed"));
        const int far = ::accept(listener, nullptr, nullptr);
        QVERIFY(far >= 0);
        // The join has arrived over there (and is acknowledged); then the server vanishes.
        pollfd ready{far, POLLIN, 0};
        QVERIFY(QTest::qWaitFor([&] { return ::poll(&ready, 1, 0) == 1; }));
        QVERIFY(ns.Vanish());
        const qint64 nMs =
            MsUntil(ann, "status:Lost connection to server!", timeouts.IdleBoundMs() + 10000);
        ::close(far);
        ::close(listener);
        Report("server vanished, idle client says so", nMs, 60000);
        QVERIFY2(nMs >= timeouts.nIdleS * 1000 && nMs <= timeouts.IdleBoundMs() + 2000,
                 QByteArray::number(nMs).constData());
        QCOMPARE(ann.Count("status:Lost connection to server!"), 1);
    }

    void slowLinkThatKeepsUpIsNeverCut() {
        NetNamespace ns;
        if (!ns.Ok() || !ns.Slow(256, 500)) {
            QSKIP("cannot make a network namespace with a slow link here (needs root or "
                  "CAP_NET_ADMIN, the ip and tc commands and the tbf queue)");
        }
        const zaplo::LinkTimeouts timeouts = Quick();
        auto server = Server(timeouts, ns.HereAddress());
        RawPeer talker(server->session->ListeningPort(), QHostAddress(ns.HereAddress()));
        QVERIFY(talker.WaitState(QTcpSocket::ConnectedState));
        talker.Send("{2}talker\r\n");
        const int slow = ns.Connect(ns.HereAddress(), server->session->ListeningPort());
        QVERIFY(slow >= 0 && JoinOn(slow, "slow"));
        std::atomic<qint64> nGot{0};
        std::atomic<bool> bClosed{false};
        std::atomic<bool> bStop{false};
        std::thread reader([&] {
            char buffer[8192];
            while (!bStop) {
                pollfd ready{slow, POLLIN, 0};
                if (::poll(&ready, 1, 50) == 1) {
                    const ssize_t n = ::recv(slow, buffer, sizeof buffer, 0);
                    if (n <= 0) {
                        bClosed = true;
                        return;
                    }
                    nGot += n;
                }
            }
        });
        // 24 KB/s of strokes (three quarters of the link) for four user timeouts.
        const int nSeconds = std::max(4 * timeouts.nUserTimeoutMs / 1000, 6);
        const QByteArray tick = QByteArray("{10}100;200;300;400;65535;\r\n").repeated(24);
        qint64 nSent = 0;
        QTimer strokes;
        QObject::connect(&strokes, &QTimer::timeout, [&] {
            talker.Send(tick);
            nSent += tick.size();
        });
        strokes.start(28); // 24 records of 28 bytes every 28 ms
        QTest::qWait(nSeconds * 1000);
        strokes.stop();
        QVERIFY(QTest::qWaitFor([&] { return nGot >= nSent; }, 10000));
        bStop = true;
        reader.join();
        ::close(slow);
        QVERIFY(!bClosed);
        QVERIFY(!server->Has("status:slow has been disconnected!"));
        QCOMPARE(nGot.load(), nSent);
    }
};

QTEST_GUILESS_MAIN(LivenessTest)
#include "tst_Liveness.moc"
