// SPDX-License-Identifier: MIT
// The server under floods, slow readers and non-readers, and the bounds it keeps: raw peers
// against a server session in one process, readers on plain sockets in threads of their own.
#include "tests/links/ServerParty.h"
#include "tests/support/LoopbackSocket.h"

#include "net/ReadScheduler.h"
#include "net/ServerLink.h"
#include "net/TcpSocket.h"
#include "net/core/PacketProc.h"
#include "net/core/ReceiveBuffer.h"

#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using zaplo::ReceiveBuffer;

// A blocking socket of its own; a small receive buffer for peers that do not read.
int PlainJoin(uint16_t nPort, const std::string& szNick, int nRcvBuf = 0) {
    const int fd = LoopbackSocket(nPort, nRcvBuf);
    if (fd < 0) {
        return -1;
    }
    const std::string szJoin = "{2}" + szNick + "\r\n";
    return ::send(fd, szJoin.data(), szJoin.size(), MSG_NOSIGNAL) > 0 ? fd : -1;
}

// Draw records numbered 0..nCount-1 (sx + 30000 * sy), each line 16 to 20 bytes.
QByteArray Numbered(int nCount) {
    QByteArray lines;
    for (int i = 0; i < nCount; ++i) {
        lines += "{10}" + QByteArray::number(i % 30000) + ";" + QByteArray::number(i / 30000) +
                 ";0;0;0;\r\n";
    }
    return lines;
}

// How many of the numbered records arrived in order from the first; -1 on a gap or repeat.
int InOrder(const QByteArray& got) {
    int nNext = 0;
    for (qsizetype pos = got.indexOf("{10}"); pos >= 0; pos = got.indexOf("{10}", pos + 4)) {
        const qsizetype end = got.indexOf("\r\n", pos);
        const QByteArray line = got.mid(pos + 4, end - pos - 4);
        if (line.endsWith(";0;0;0;")) {
            const qsizetype semi = line.indexOf(';');
            if (line.left(semi).toInt() + 30000 * line.mid(semi + 1).split(';')[0].toInt() !=
                nNext++) {
                return -1;
            }
        }
    }
    return nNext;
}

// Bytes the server may hold for one connection: Qt's read-ahead, one pass's read with an
// unfinished line in the receive buffer, the unsent output up to its bound and the one message
// that crosses it.
constexpr qint64 kHeldBound = zaplo::TcpSocket::kReadAhead + zaplo::ReadScheduler::kReadBudget +
                              2 * qint64{ReceiveBuffer::kMaxLine} + zaplo::ServerLink::kMaxUnsent;

} // namespace

class FlowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void floodKeepsReadersServedAndCutsTheNonReader() {
        auto server = StartServer();
        const uint16_t nPort = server->session->ListeningPort();
        auto fast = Join(*server, "fast");
        auto flooder = Join(*server, "flood");
        QVERIFY(fast && flooder);
        const int fdIdle = PlainJoin(nPort, "idle", 4096);
        const int fdSlow = PlainJoin(nPort, "slow");
        QVERIFY(fdIdle >= 0 && fdSlow >= 0);
        QTRY_COMPARE(server->users.Rows().size(), std::size_t{5});

        // The slow reader takes 32 KiB every 10 ms (3.2 MB/s, an ordinary link) until the whole
        // flood has come.
        // Enough that the non-reader's backlog passes the cut-off bound twice over (the system
        // keeps only a little unsent for it).
        constexpr int kRecords = 250000;
        const QByteArray flood = Numbered(kRecords);
        QByteArray slowGot;
        std::atomic<bool> bSlowDone{false};
        std::thread slow([&] {
            char buf[32768];
            const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(15);
            while (!slowGot.endsWith(flood.right(20)) && std::chrono::steady_clock::now() < tEnd) {
                const ssize_t n = ::recv(fdSlow, buf, sizeof buf, MSG_DONTWAIT);
                if (n == 0) {
                    break;
                }
                if (n > 0) {
                    slowGot.append(buf, n);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            bSlowDone = true;
        });

        qint64 nHeldMost = 0;
        QTimer sample;
        QObject::connect(&sample, &QTimer::timeout, [&] {
            for (int16_t i = 1; i <= server->state.nUsers; ++i) {
                nHeldMost = std::max(nHeldMost, server->session->HeldForSlot(i));
            }
        });
        sample.start(5);
        flooder->Send(flood);
        QTRY_VERIFY_WITH_TIMEOUT(bSlowDone && server->Has("status:idle has been disconnected!"),
                                 18000);
        slow.join();
        QVERIFY(fast->WaitBytes(flood.size()));
        ::close(fdIdle);
        ::close(fdSlow);

        QCOMPARE(InOrder(fast->got), kRecords);
        QCOMPARE(InOrder(slowGot), kRecords);
        QVERIFY(!server->Has("status:fast has been disconnected!"));
        QVERIFY(!server->Has("status:slow has been disconnected!"));
        QCOMPARE(fast->socket.state(), QTcpSocket::ConnectedState);
        QVERIFY2(nHeldMost <= kHeldBound, QByteArray::number(nHeldMost).constData());
        QVERIFY(nHeldMost > zaplo::ServerLink::kPaceMark); // the non-reader was sampled behind
    }

    void blockBiggerThanTheBudgetLetsOthersThrough() {
        auto server = StartServer();
        auto bulk = Join(*server, "bulk");
        auto ann = Join(*server, "ann");
        QVERIFY(bulk && ann);
        QVERIFY(bulk->TakeThrough("{2}ann\r\n").endsWith("{2}ann\r\n"));
        // 50 budgets' worth in one block; ann's line comes after it and is served first.
        const int nRecords = static_cast<int>(50 * zaplo::ReadScheduler::kReadBudget / 18);
        bulk->Send(Numbered(nRecords));
        ann->Send("{1}{ann}hi\r\n");
        QTRY_VERIFY(ann->got.contains("{1}{ann}hi\r\n"));
        const int nBefore = InOrder(ann->got.left(ann->got.indexOf("{1}{ann}hi")));
        QVERIFY2(nBefore < nRecords / 2, QByteArray::number(nBefore).constData());
        QTRY_COMPARE(InOrder(ann->got), nRecords);
    }

    void joinsTheDialogCouldNotMakeAreRefused() {
        std::string szEuros; // 16 three-byte characters
        for (int i = 0; i < 16; ++i) {
            szEuros += "\xe2\x82\xac";
        }
        // 17 units with a surrogate pair; more bytes than 16 characters can take.
        for (const auto& [szNick, bFits] : {std::pair{std::string(16, 'x'), true},
                                            {std::string(17, 'x'), false},
                                            {szEuros, true},
                                            {"\xf0\x9f\x98\x80" + std::string(15, 'x'), false},
                                            {std::string(65, '\x80'), false}}) {
            QCOMPARE(zaplo::NicknameFits(szNick), bFits);
        }

        auto server = StartServer();
        auto ann = Join(*server, "ann");
        auto bob = std::make_unique<RawPeer>(server->session->ListeningPort());
        QVERIFY(ann && bob->WaitState(QTcpSocket::ConnectedState));
        // Too long, then a fitting join, then a second join on the same connection.
        bob->Send("{2}" + QByteArray(33000, 'b') + "\r\n{2}bob\r\n{2}again\r\n{1}{bob}x\r\n");
        QCOMPARE(ann->TakeThrough("{1}{bob}x\r\n"), QByteArray("{2}bob\r\n{1}{bob}x\r\n"));
        QCOMPARE(bob->TakeThrough("{1}{bob}x\r\n"),
                 QByteArray("{9}bob has joined!\r\n{8}host;ann;bob;\r\n{1}{bob}x\r\n"));
        QCOMPARE(server->UserRows(), (std::vector<std::string>{"host", "ann", "bob"}));
        bob.reset();
        QCOMPARE(ann->TakeThrough("{8}"),
                 QByteArray("{9}bob has been disconnected!\r\n{8}host;ann;\r\n"));
    }

    void longestChatLineReachesAClientWhole() {
        auto server = StartServer();
        HeadlessHost client(1, "cid", server->state.nPort);
        client.Start();
        QTRY_COMPARE(server->users.Rows().size(), std::size_t{2});
        // With nothing queued the send timer idles; a queued line still leaves at once.
        auto* timer = server->session->findChild<QTimer*>(QStringLiteral("timerSendMsgs"));
        QTRY_VERIFY(!timer->isActive());
        auto ann = Join(*server, "ann");
        QVERIFY(ann);
        // 32,767 four-byte characters: the longest line the chat input can make.
        std::string szText;
        for (int i = 0; i < 32767; ++i) {
            szText += "\xf0\x9f\x98\x80";
        }
        ann->Send(QByteArray::fromStdString("{1}{ann}" + szText + "\r\n"));
        QTRY_VERIFY(client.Has("chat:{ann}" + szText));
        QVERIFY(ann->TakeThrough("\r\n").endsWith(QByteArray::fromStdString(szText + "\r\n")));
        QTRY_VERIFY(!timer->isActive());
    }
};

QTEST_GUILESS_MAIN(FlowTest)
#include "tst_Flow.moc"
