// SPDX-License-Identifier: MIT
// Pacing by sender and the lag bound, end to end: raw peers against a server session in one
// process; slow links are plain sockets with a small receive buffer, read at a fixed rate by a
// thread of their own. The lag tests drive the server's clock by hand.
#include "tests/links/ServerParty.h"
#include "tests/support/LoopbackSocket.h"

#include "net/FlowLedger.h"
#include "net/ReadScheduler.h"
#include "net/ServerLink.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

#include <QElapsedTimer>
#include <unistd.h>

namespace {

using zaplo::FlowLedger;

// A joined peer on a blocking plain socket with a small receive buffer, read by a thread at
// nBytesPer10Ms (changeable) until destroyed.
class SlowLink {
public:
    SlowLink(uint16_t nPort, const std::string& szNick, int nBytesPer10Ms) : nRate(nBytesPer10Ms) {
        fd_ = LoopbackSocket(nPort, 4096);
        const std::string szJoin = "{2}" + szNick + "\r\n";
        bOk = fd_ >= 0 && ::send(fd_, szJoin.data(), szJoin.size(), MSG_NOSIGNAL) > 0;
        reader_ = std::thread([this] {
            char buf[65536];
            while (!bStop_) {
                const int nWant = std::min<int>(nRate, sizeof buf);
                const ssize_t n = nWant > 0 ? ::recv(fd_, buf, nWant, MSG_DONTWAIT) : -1;
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                    bClosed = true;
                    return;
                }
                if (n > 0) {
                    std::lock_guard lock(mutex_);
                    got_.append(buf, n);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~SlowLink() {
        bStop_ = true;
        reader_.join();
        ::close(fd_);
    }
    QByteArray Got() {
        std::lock_guard lock(mutex_);
        return got_;
    }

    std::atomic<int> nRate;
    std::atomic<bool> bClosed{false};
    bool bOk = false;

private:
    int fd_ = -1;
    std::atomic<bool> bStop_{false};
    std::mutex mutex_;
    QByteArray got_;
    std::thread reader_;
};

// Draw records numbered 0..nCount-1 (sx + 30000 * sy) with colour clr.
QByteArray Numbered(int nCount, int clr) {
    QByteArray lines;
    for (int i = 0; i < nCount; ++i) {
        lines += "{10}" + QByteArray::number(i % 30000) + ";" + QByteArray::number(i / 30000) +
                 ";0;0;" + QByteArray::number(clr) + ";\r\n";
    }
    return lines;
}

// The draw records in a received stream, as (clr, number).
std::vector<std::pair<int, int>> Records(const QByteArray& got) {
    std::vector<std::pair<int, int>> records;
    for (const QByteArray& line : got.split('\n')) {
        if (line.startsWith("{10}")) {
            const QList<QByteArray> f = line.mid(4).split(';');
            records.emplace_back(f[4].toInt(), f[0].toInt() + 30000 * f[1].toInt());
        }
    }
    return records;
}

// How many departures the server announced.
int Cuts(const HeadlessHost& server) {
    return static_cast<int>(std::ranges::count_if(server.log, [](const std::string& szEntry) {
        return szEntry.ends_with(" has been disconnected!");
    }));
}

// Bytes that may lie between a line and the moment it was sent, at a receiver that keeps it
// waiting: the flooder's share and one pass's read beyond it, the system's unsent part and the
// receiver's own buffer, with room to spare.
constexpr qsizetype kAheadBound = 2 * (FlowLedger::kShare + zaplo::ReadScheduler::kReadBudget +
                                       zaplo::ServerLink::kNotSentLowat + 8192);

// Connects from 127.0.0.(2 + n % 4), joins as a long name, waits for the answer (a while at
// most) and leaves, in a loop until stopped: join and departure churn at the accept gate's
// limit of several addresses. Counts the cycles whose join was answered.
class Churner {
public:
    explicit Churner(uint16_t nPort) {
        thread_ = std::thread([this, nPort] {
            for (int n = 0; !bStop_; ++n) {
                const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                const sockaddr_in from{AF_INET, 0, {htonl(INADDR_LOOPBACK + 1 + n % 4)}, {}};
                const sockaddr_in to{AF_INET, htons(nPort), {htonl(INADDR_LOOPBACK)}, {}};
                const timeval wait{0, 300 * 1000};
                ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
                const std::string szJoin = "{2}churner" + std::to_string(n % 10000000) + "\r\n";
                if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) == 0 &&
                    ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
                    ::send(fd, szJoin.data(), szJoin.size(), MSG_NOSIGNAL) > 0) {
                    char buf[4096];
                    const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
                    nAnswered += got > 0 ? 1 : 0;
                }
                ::close(fd);
            }
        });
    }
    ~Churner() {
        bStop_ = true;
        thread_.join();
    }
    std::atomic<int> nAnswered{0};

private:
    std::atomic<bool> bStop_{false};
    std::thread thread_;
};

} // namespace

class PacingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void talkerIsNotHeldBackByAFlooder() {
        Party party({"fast", "talk", "flood"});
        QVERIFY(party.bReady);
        RawPeer& fast = party[0];
        RawPeer& talk = party[1];
        RawPeer& flood = party[2];
        SlowLink slow(party.server->session->ListeningPort(), "slow", 8000); // 800 KB/s
        QVERIFY(slow.bOk);
        QVERIFY(fast.TakeThrough("{2}slow\r\n").endsWith("{2}slow\r\n"));
        QTRY_VERIFY(slow.Got().contains("{8}"));
        talk.got.clear();

        constexpr int kRecords = 50000;
        const QByteArray lines = Numbered(kRecords, 7);
        flood.Send(lines);
        // Well under way, and held at the slow link's pace.
        QTRY_VERIFY(fast.got.size() > 4 * FlowLedger::kShare);
        const qsizetype nFastAtSend = fast.got.size();
        const qsizetype nSlowAtSend = slow.Got().size();
        const QByteArray line = "{10}1;1;1;1;99;\r\n";
        talk.Send(line);
        QTRY_VERIFY(fast.got.contains(";99;\r\n"));
        QTRY_VERIFY(slow.Got().contains(";99;\r\n"));
        // It waited only behind what was already queued for each of them.
        const qsizetype nFastAhead = fast.got.indexOf(";99;\r\n") - nFastAtSend;
        const qsizetype nSlowAhead = slow.Got().indexOf(";99;\r\n") - nSlowAtSend;
        QVERIFY2(nFastAhead < kAheadBound, QByteArray::number(nFastAhead));
        QVERIFY2(nSlowAhead < kAheadBound, QByteArray::number(nSlowAhead));
        QVERIFY(fast.got.size() < lines.size() / 2); // the flood was still going

        // The flood arrives whole and in order everywhere; nobody was cut.
        slow.nRate = 60000;
        QVERIFY(fast.WaitBytes(lines.size() + line.size(), 15000));
        QTRY_VERIFY_WITH_TIMEOUT(slow.Got().size() >= lines.size(), 15000);
        const QByteArray slowGot = slow.Got();
        QCOMPARE(slowGot.mid(slowGot.indexOf("{10}")).replace(line, ""), lines);
        QCOMPARE(fast.got.replace(line, ""), lines);
        QCOMPARE(Cuts(*party.server), 0);
    }

    void readerFarBehindTheOthersIsCutAfterTheLagBound() {
        Party party({"ann", "bob"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        int32_t lNow = 1000;
        server.state.GetTicks = [&] { return lNow; };
        SlowLink slow(server.session->ListeningPort(), "slow", 200); // 20 KB/s
        QVERIFY(slow.bOk);
        QVERIFY(party[1].TakeThrough("{2}slow\r\n").endsWith("{2}slow\r\n"));

        // ann's strokes pile up at the slow reader; while it keeps up it holds ann back.
        const QByteArray strokes = DrawLines(3000, 80);
        party[0].Send(strokes);
        QTRY_VERIFY(party[1].got.size() >= 2 * FlowLedger::kShare);
        QVERIFY(party[1].got.size() < strokes.size());
        // Behind the others for longer than kKeepUpMs, it holds nobody back: bob gets it all.
        lNow += FlowLedger::kKeepUpMs + 1;
        QVERIFY(party[1].WaitBytes(strokes.size()));
        lNow = 1000 + FlowLedger::kMaxLagMs - 10;
        party[0].Send("{11}\r\n");
        QVERIFY(party[1].WaitBytes(strokes.size() + 6));
        QCOMPARE(Cuts(server), 0);
        // Past the bound it is cut and announced; ann and bob are not.
        lNow = 1000 + FlowLedger::kMaxLagMs + FlowLedger::kMarkMs + 1;
        party[0].Send("{11}\r\n");
        QTRY_VERIFY(server.Has("status:slow has been disconnected!"));
        QVERIFY(party[1].TakeThrough("{8}").endsWith(
            "{9}slow has been disconnected!\r\n{8}host;ann;bob;\r\n"));
        QCOMPARE(Cuts(server), 1);
        QTRY_VERIFY(slow.bClosed);
    }

    void whenEveryReceiverIsSlowAlikeNobodyIsCut() {
        Party party({"ann"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        int32_t lNow = 1000;
        server.state.GetTicks = [&] { return lNow; };
        const uint16_t nPort = server.session->ListeningPort();
        std::vector<std::unique_ptr<SlowLink>> links;
        for (const char* szNick : {"r1", "r2", "r3"}) {
            links.push_back(std::make_unique<SlowLink>(nPort, szNick, 2000)); // 200 KB/s
            QVERIFY(links.back()->bOk);
            const QByteArray join = "{2}" + QByteArray(szNick) + "\r\n";
            QVERIFY(party[0].TakeThrough(join).endsWith(join));
        }
        const QByteArray strokes = DrawLines(4000, 80);
        party[0].Send(strokes);
        QTRY_VERIFY(server.draws.size() > 100);
        // Three times the lag bound, half a second at a time (they acknowledge well within it):
        // ann is held back, nobody is cut.
        for (int i = 0; i < 3 * FlowLedger::kMaxLagMs / 500; ++i) {
            lNow += 500;
            QTest::qWait(20);
        }
        QVERIFY(server.draws.size() < 4000);
        QCOMPARE(Cuts(server), 0);
        // Faster again, they all get everything.
        for (auto& link : links) {
            link->nRate = 60000;
        }
        for (auto& link : links) {
            QTRY_VERIFY_WITH_TIMEOUT(link->Got().size() >= strokes.size(), 15000);
            const QByteArray got = link->Got();
            QCOMPARE(got.mid(got.indexOf("{10}")), strokes);
        }
        QCOMPARE(Cuts(server), 0);
    }

    void churnCountsAgainstTheChurnNotTheReceivers() {
        // Slow honest receivers with long names, so every departure costs each of them a long
        // user list; churn from four addresses at the accept gate's limit.
        auto server = StartServer();
        const uint16_t nPort = server->session->ListeningPort();
        std::vector<std::unique_ptr<SlowLink>> links;
        for (int i = 0; i < 16; ++i) {
            links.push_back(std::make_unique<SlowLink>(nPort, "receiver-" + std::to_string(i), 20));
            QVERIFY(links.back()->bOk);
        }
        QTRY_COMPARE(server->UserRows().size(), std::size_t{17});
        qint64 nMostHeld = 0;
        {
            Churner churner(nPort);
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 8000) {
                QTest::qWait(50);
                for (int16_t i = 1; i <= 16; ++i) {
                    nMostHeld = std::max(nMostHeld, server->session->HeldForSlot(i));
                }
            }
            QVERIFY(churner.nAnswered > 20);
        }
        // The announcements waiting at a 2 KB/s receiver stayed near one share, instead of
        // growing with the churn (tens of kilobytes a second) until it was cut.
        QVERIFY2(nMostHeld < FlowLedger::kShare + 16 * 1024, QByteArray::number(nMostHeld));
        for (int i = 0; i < 16; ++i) {
            QVERIFY(!links[static_cast<std::size_t>(i)]->bClosed);
            QVERIFY(
                !server->Has("status:receiver-" + std::to_string(i) + " has been disconnected!"));
        }
    }

    void everyReceiverGetsTheServersReadOrder() {
        Party party({"a", "b", "c"});
        QVERIFY(party.bReady);
        HeadlessHost& server = *party.server;
        SlowLink slow(server.session->ListeningPort(), "slow", 10000); // 1 MB/s
        QVERIFY(slow.bOk);
        QTRY_VERIFY(slow.Got().contains("{8}"));
        for (auto& peer : party.peers) {
            peer->got.clear();
        }
        // A flood and two ordinary streams at once; the flood is paced, the others are not.
        const QByteArray flood = Numbered(20000, 1);
        party[0].Send(flood);
        const QByteArray b = Numbered(3000, 2);
        const QByteArray c = Numbered(3000, 3);
        for (int i = 0; i < 10; ++i) {
            party[1].Send(b.mid(i * b.size() / 10, b.size() / 10));
            party[2].Send(c.mid(i * c.size() / 10, c.size() / 10));
            QTest::qWait(5);
        }
        QTRY_VERIFY_WITH_TIMEOUT(server.draws.size() == 26000, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(slow.Got().size() >= flood.size() + b.size() + c.size(), 15000);
        std::vector<std::pair<int, int>> order;
        std::vector<int> next(4, 0);
        for (const zaplo::DrawRecord& record : server.draws) {
            const int k = static_cast<int>(record.clr);
            order.emplace_back(k, next[static_cast<std::size_t>(k)]++);
        }
        const auto Without = [&order](int k) {
            std::vector<std::pair<int, int>> rest;
            std::copy_if(order.begin(), order.end(), std::back_inserter(rest),
                         [k](const auto& record) { return record.first != k; });
            return rest;
        };
        QVERIFY(Records(slow.Got()) == order);
        const qsizetype nSizes[] = {flood.size(), b.size(), c.size()};
        for (int k = 1; k <= 3; ++k) {
            RawPeer& peer = party[static_cast<std::size_t>(k - 1)];
            const auto expected = Without(k);
            QVERIFY(peer.WaitBytes(flood.size() + b.size() + c.size() - nSizes[k - 1], 15000));
            QVERIFY2(Records(peer.got) == expected, QByteArray::number(k));
        }
        // The ordinary streams were not held back behind the flood.
        const auto firstC = std::find(order.begin(), order.end(), std::make_pair(3, 2999));
        QVERIFY(std::count_if(order.begin(), firstC, [](const auto& r) { return r.first == 1; }) <
                20000);
        QCOMPARE(Cuts(server), 0);
    }
};

QTEST_GUILESS_MAIN(PacingTest)
#include "tst_Pacing.moc"
