// A server session driven by raw TCP peers: exact bytes on the wire, slots, the queue, and the
// hardening of the receive side and of the send side.
#include "HeadlessHost.h"
#include "RawPeer.h"

#include "gfx/Ticks.h"
#include "net/ServerLink.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <memory>

namespace {

std::unique_ptr<HeadlessHost> StartServer(const std::string& szNick = "host") {
    auto server = std::make_unique<HeadlessHost>(0, szNick);
    server->InitConnection();
    return server;
}

// Connects a raw peer; with a nickname it also joins and the join answer is taken off.
std::unique_ptr<RawPeer> Join(HeadlessHost& server, const std::string& szNick = {}) {
    auto peer = std::make_unique<RawPeer>(server.Port());
    if (!peer->WaitConnected()) {
        return nullptr;
    }
    if (!szNick.empty()) {
        peer->Send(QByteArray::fromStdString("{2}" + szNick + "\r\n"));
        const bool bAnswered = QTest::qWaitFor(
            [&] { return peer->got.contains("{8}") && peer->got.endsWith("\r\n"); }, 5000);
        if (!bAnswered) {
            return nullptr;
        }
        peer->Take();
    }
    return peer;
}

QByteArray DrawLines(int nFirst, int nCount) {
    QByteArray lines;
    for (int i = nFirst; i < nFirst + nCount; ++i) {
        lines +=
            "{10}" + QByteArray::number(i % 30000) + ";2;3;4;" + QByteArray::number(i) + ";\r\n";
    }
    return lines;
}

// The server's descriptor of a raw peer's connection.
int ServerSideFd(const RawPeer& peer) {
    for (int fd = 3; fd < 4096; ++fd) {
        sockaddr_in address{};
        socklen_t nLength = sizeof address;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &nLength) == 0 &&
            ntohs(address.sin_port) == peer.socket.localPort()) {
            return fd;
        }
    }
    return -1;
}

// Reads and drops what has come on fd; true once the other end has closed the connection.
bool FdSeesClose(int fd) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            continue;
        }
        return n == 0 || errno == ECONNRESET || errno == EPIPE;
    }
}

} // namespace

class ServerLinkTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void joinAnswersWithStatusAndListThenRelays();
    void relaysSkipTheSenderChatEchoReachesEveryone();
    void leaveSequenceFreesTheLowestSlot();
    void queuedServerChatWaitsForTheFirstClient();
    void secondSessionStartsAfresh();
    void messageSplitByteByByte();
    void blockArrivingDuringDispatchIsNotStranded();
    void closeWaitsForTheClientsEarlierLines();
    void overlongLineIsDroppedNextLineServed();
    void slowConsumerIsDroppedOthersServed();
    void clientKilledMidRelay();
    void listenFailureIsOneStatusLine();
    void listenBelow1024WithoutRights();
    void fullSlotTableTurnsNewClientsAway();
    void outOfDescriptorsShedsNewClients();
    void tickDoesNotStartInsideATick();
    void eventsRunBatchedDuringRelayAndAfterEverySlotPass();
    void exitClosesEveryConnection();
};

void ServerLinkTest::joinAnswersWithStatusAndListThenRelays() {
    auto server = StartServer();
    QVERIFY(server->Port() != 0);
    QCOMPARE(server->statusLines.front(), std::string("Waiting for a client to join..."));
    QVERIFY(!server->state.bConnected);

    auto ann = Join(*server);
    QVERIFY(ann);
    QTRY_COMPARE(server->state.nUsers, int16_t{1});
    QVERIFY(server->state.bConnected);
    ann->Send("{2}ann\r\n");
    QVERIFY(ann->WaitBytes(33));
    QCOMPARE(ann->Take(), QByteArray("{9}ann has joined!\r\n{8}host;ann;\r\n"));

    auto bob = Join(*server);
    QVERIFY(bob);
    QTRY_COMPARE(server->state.nUsers, int16_t{2});
    bob->Send("{2}bob\r\n");
    QVERIFY(bob->WaitBytes(37));
    QCOMPARE(bob->Take(), QByteArray("{9}bob has joined!\r\n{8}host;ann;bob;\r\n"));
    QVERIFY(ann->WaitBytes(8));
    QCOMPARE(ann->Take(), QByteArray("{2}bob\r\n"));

    QCOMPARE(server->RowNames(), (std::vector<std::string>{"host", "ann", "bob"}));
    QCOMPARE(server->rows[1].iSlot, int16_t{1});
    QCOMPARE(server->rows[2].iSlot, int16_t{2});
    QVERIFY(server->HasStatus("ann has joined!"));
    QVERIFY(server->HasStatus("bob has joined!"));
}

void ServerLinkTest::relaysSkipTheSenderChatEchoReachesEveryone() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    auto cid = Join(*server, "cid");
    QVERIFY(ann && bob && cid);
    QTRY_COMPARE(server->RowNames().size(), std::size_t{4});
    ann->Take();
    bob->Take();

    bob->Send("{10}1;2;3;4;255;\r\n{11}\r\n");
    QVERIFY(ann->WaitBytes(24));
    QVERIFY(cid->WaitBytes(24));
    QCOMPARE(ann->Take(), QByteArray("{10}1;2;3;4;255;\r\n{11}\r\n"));
    QCOMPARE(cid->Take(), QByteArray("{10}1;2;3;4;255;\r\n{11}\r\n"));
    QCOMPARE(server->draws.size(), std::size_t{1});
    QCOMPARE(server->draws[0].clr, 255);
    QCOMPARE(server->nErases, 1);

    // The chat line goes out through the queue to all three, its sender included; since the
    // sender's next bytes are exactly that echo, the relays above never came back to it.
    bob->Send("{1}{bob}hi\r\n");
    for (RawPeer* peer : {ann.get(), bob.get(), cid.get()}) {
        QVERIFY(peer->WaitBytes(12));
        QCOMPARE(peer->Take(), QByteArray("{1}{bob}hi\r\n"));
    }
    QVERIFY(server->HasChat("{bob}hi"));
    QVERIFY(server->state.colSendQueue.empty());
}

void ServerLinkTest::leaveSequenceFreesTheLowestSlot() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    QVERIFY(ann && bob);
    QTRY_COMPARE(server->RowNames().size(), std::size_t{3});
    bob->Take();

    ann->socket.disconnectFromHost();
    QVERIFY(bob->WaitContains("{8}host;bob;\r\n"));
    QCOMPARE(bob->Take(), QByteArray("{9}ann has been disconnected!\r\n{8}host;bob;\r\n"));
    QVERIFY(server->HasStatus("ann has been disconnected!"));
    QCOMPARE(server->RowNames(), (std::vector<std::string>{"host", "bob"}));

    // Slot 1 is free again: the next client takes it, nUsers stays 2.
    auto cid = Join(*server, "cid");
    QVERIFY(cid);
    QCOMPARE(server->state.nUsers, int16_t{2});
    QCOMPARE(server->rows.back().szName, std::string("cid"));
    QCOMPARE(server->rows.back().iSlot, int16_t{1});

    // bob leaves from slot 2 although he now stands first among the clients.
    bob->socket.disconnectFromHost();
    QVERIFY(cid->WaitContains("{8}host;cid;\r\n"));
    QVERIFY(server->HasStatus("bob has been disconnected!"));
    QCOMPARE(server->RowNames(), (std::vector<std::string>{"host", "cid"}));

    // With slot 1 taken and slot 2 free, a newcomer gets slot 2; nothing grows.
    auto dan = Join(*server, "dan");
    QVERIFY(dan);
    QCOMPARE(server->state.nUsers, int16_t{2});
    QCOMPARE(server->rows.back().iSlot, int16_t{2});
}

void ServerLinkTest::queuedServerChatWaitsForTheFirstClient() {
    auto server = StartServer();
    server->Queue("{1}", "{host}early");
    server->Queue("{11}", "");
    // Ticks pass: nothing leaves while no client has come.
    for (int i = 0; i < 3; ++i) {
        server->session->SendQueueTick();
        QCoreApplication::processEvents();
    }
    QCOMPARE(server->state.colSendQueue.size(), std::size_t{2});

    auto ann = Join(*server);
    QVERIFY(ann);
    QVERIFY(ann->WaitBytes(22));
    QCOMPARE(ann->Take(), QByteArray("{1}{host}early\r\n{11}\r\n"));
    QVERIFY(server->state.colSendQueue.empty());

    // Everybody gone: bConnected stays, the queue is still emptied with nobody to send to.
    ann->Send("{2}ann\r\n");
    QVERIFY(ann->WaitContains("{8}host;ann;\r\n"));
    ann->socket.disconnectFromHost();
    QTRY_VERIFY(server->HasStatus("ann has been disconnected!"));
    server->Queue("{1}", "{host}alone");
    QTRY_VERIFY(server->state.colSendQueue.empty());
    QVERIFY(server->state.bConnected);
}

void ServerLinkTest::secondSessionStartsAfresh() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    QVERIFY(ann);
    QCOMPARE(server->state.nUsers, int16_t{1});
    QVERIFY(server->state.bConnected);
    ann->socket.abort();
    QTRY_VERIFY(server->HasStatus("ann has been disconnected!"));
    server->Queue("{1}", "{host}left behind");
    server->state.bConnected = false;

    // Reset: a new session on the same program-wide state.
    server->NewSession();
    QVERIFY(!server->state.bConnected);
    QVERIFY(server->state.colSendQueue.empty());
    QCOMPARE(server->state.nUsers, int16_t{0});
    server->InitConnection();
    QCOMPARE(server->RowNames(), std::vector<std::string>{"host"});
    auto bob = Join(*server, "bob");
    QVERIFY(bob);
    QCOMPARE(server->state.nUsers, int16_t{1});
    QCOMPARE(server->rows.back().iSlot, int16_t{1});
}

void ServerLinkTest::messageSplitByteByByte() {
    auto server = StartServer();
    auto ann = Join(*server);
    auto bob = Join(*server, "bob");
    QVERIFY(ann && bob);
    QVERIFY(ann->WaitContains("{2}bob\r\n"));
    ann->Take();
    const QByteArray block("{2}ann\r\n{1}{ann}one byte at a time\r\n{10}7;8;9;10;65535;\r\n");
    for (const char c : block) {
        ann->Send(QByteArray(1, c));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    QVERIFY(bob->WaitContains("{10}7;8;9;10;65535;\r\n"));
    QCOMPARE(server->RowNames(), (std::vector<std::string>{"host", "bob", "ann"}));
    QTRY_VERIFY(server->HasChat("{ann}one byte at a time"));
    QCOMPARE(server->draws.size(), std::size_t{1});
    QCOMPARE(server->draws[0].dy, int16_t{10});
    QVERIFY(ann->WaitContains("{1}{ann}one byte at a time\r\n"));
    QVERIFY(ann->got.startsWith("{9}ann has joined!\r\n{8}host;bob;ann;\r\n"));
}

void ServerLinkTest::blockArrivingDuringDispatchIsNotStranded() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    QVERIFY(ann && bob);
    // While the first block is being dispatched (events run inside it, as during a relay), the
    // second block arrives. Qt reports no new data for it, so only reading again helps.
    bool bSent = false;
    server->onDraw = [&](const zaplo::DrawRecord&) {
        if (bSent) {
            return;
        }
        bSent = true;
        ann->Send("{1}{ann}second block\r\n");
        // Once it is there, let events run: Qt takes it in without reporting it.
        pollfd arrived{ServerSideFd(*ann), POLLIN, 0};
        QCOMPARE(::poll(&arrived, 1, 5000), 1);
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
        }
    };
    ann->Send("{10}1;1;2;2;0;\r\n");
    QTRY_VERIFY(bSent);
    QTRY_VERIFY_WITH_TIMEOUT(server->HasChat("{ann}second block"), 5000);
    QVERIFY(bob->WaitContains("{1}{ann}second block\r\n"));
}

void ServerLinkTest::closeWaitsForTheClientsEarlierLines() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    QVERIFY(ann && bob);
    bob->Take();
    // ann sends a stroke and a last chat line and goes. While the stroke is dispatched, events
    // run and report the close; the departure must come after ann's chat line.
    const int fd = ServerSideFd(*ann);
    QVERIFY(fd >= 0);
    server->onDraw = [&](const zaplo::DrawRecord&) {
        pollfd hangup{fd, POLLRDHUP, 0};
        QCOMPARE(::poll(&hangup, 1, 5000), 1);
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents();
        }
    };
    ann->Send("{10}1;1;2;2;0;\r\n{1}{ann}bye\r\n");
    ann->socket.disconnectFromHost();
    QTRY_VERIFY(server->HasStatus("ann has been disconnected!"));
    const auto chat = std::find(server->log.begin(), server->log.end(), "chat:{ann}bye");
    const auto gone =
        std::find(server->log.begin(), server->log.end(), "status:ann has been disconnected!");
    QVERIFY(chat != server->log.end());
    QVERIFY(chat < gone);
    QVERIFY(bob->WaitContains("{8}host;bob;\r\n"));
    QCOMPARE(bob->Take(), QByteArray("{10}1;1;2;2;0;\r\n{1}{ann}bye\r\n"
                                     "{9}ann has been disconnected!\r\n{8}host;bob;\r\n"));
}

void ServerLinkTest::overlongLineIsDroppedNextLineServed() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    QVERIFY(ann && bob);
    bob->Take();
    // A megabyte without CR LF swallows the line it runs into; the line after is served.
    ann->Send(QByteArray(1 << 20, 'x'));
    ann->Send("{1}{ann}swallowed\r\n{1}{ann}after\r\n");
    QVERIFY(bob->WaitContains("{1}{ann}after\r\n", 10000));
    QCOMPARE(bob->Take(), QByteArray("{1}{ann}after\r\n"));
    QCOMPARE(server->chatLines, std::vector<std::string>{"{ann}after"});
}

void ServerLinkTest::slowConsumerIsDroppedOthersServed() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    QVERIFY(ann && bob);

    // A peer with a tiny receive window that never reads.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QVERIFY(fd >= 0);
    const int nSmall = 4096;
    QCOMPARE(::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &nSmall, sizeof nSmall), 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server->Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const char join[] = "{2}slow\r\n";
    QCOMPARE(::send(fd, join, sizeof join - 1, 0), static_cast<ssize_t>(sizeof join - 1));
    QTRY_COMPARE(server->RowNames().size(), std::size_t{4});
    bob->Take();

    // ann draws a lot (strokes carrying a long extra field); every stroke is relayed at once
    // to bob and to the slow peer, about 8 MB each.
    const int nLines = 8000;
    QByteArray strokes;
    for (int i = 0; i < nLines; ++i) {
        strokes += "{10}1;2;3;4;" + QByteArray::number(i) + ";" + QByteArray(1000, 'p') + ";\r\n";
    }
    ann->socket.write(strokes);
    QTRY_VERIFY_WITH_TIMEOUT(server->HasStatus("slow has been disconnected!"), 60000);
    // bob gets every stroke, with the departure (sent by a queue tick) somewhere in between.
    const QByteArray departure("{9}slow has been disconnected!\r\n{8}host;ann;bob;\r\n");
    QVERIFY(bob->WaitBytes(strokes.size() + departure.size(), 60000));
    QCOMPARE(bob->got.count(departure), 1);
    QVERIFY(QByteArray(bob->got).replace(departure, "") == strokes);
    QTRY_VERIFY(FdSeesClose(fd));
    ::close(fd);
    QCOMPARE(server->RowNames(), (std::vector<std::string>{"host", "ann", "bob"}));
    QCOMPARE(server->draws.size(), static_cast<std::size_t>(nLines));
}

void ServerLinkTest::clientKilledMidRelay() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    auto cid = Join(*server, "cid");
    QVERIFY(ann && bob && cid);
    QTRY_COMPARE(server->RowNames().size(), std::size_t{4});
    cid->Take();
    server->session->SetEventInterval(0);
    // bob dies while ann's strokes are being relayed to him.
    const int nLines = 5000;
    server->onDraw = [&](const zaplo::DrawRecord& record) {
        if (record.clr == 1000) {
            bob->socket.abort();
        }
    };
    const QByteArray strokes = DrawLines(0, nLines);
    ann->Send(strokes);
    // The departure goes out through the queue, whose ticks may run in the middle of the relay.
    const QByteArray departure("{9}bob has been disconnected!\r\n{8}host;ann;cid;\r\n");
    QVERIFY(cid->WaitBytes(strokes.size() + departure.size(), 30000));
    QTRY_VERIFY(server->HasStatus("bob has been disconnected!"));
    QCOMPARE(cid->got.count(departure), 1);
    QCOMPARE(QByteArray(cid->got).replace(departure, ""), strokes);
    QCOMPARE(server->draws.size(), static_cast<std::size_t>(nLines));
    // bob's slot is taken by the next client.
    auto dan = Join(*server, "dan");
    QVERIFY(dan);
    QCOMPARE(server->rows.back().iSlot, int16_t{2});
    QCOMPARE(server->state.nUsers, int16_t{3});
}

void ServerLinkTest::listenFailureIsOneStatusLine() {
    // Some port that fits the 16-bit nPort and is in use.
    QTcpServer taken;
    for (quint16 nTry = 20000; nTry < 32000 && !taken.isListening(); nTry += 7) {
        (void)taken.listen(QHostAddress::LocalHost, nTry);
    }
    QVERIFY(taken.isListening());
    HeadlessHost server(0, "host", static_cast<int16_t>(taken.serverPort()));
    server.InitConnection();
    const std::string szPort = std::to_string(taken.serverPort());
    QCOMPARE(server.statusLines, (std::vector<std::string>{"Waiting for a client to join...",
                                                           "Cannot listen on port " + szPort +
                                                               ": address already in use"}));
    QCOMPARE(server.Port(), uint16_t{0});

    HeadlessHost negative(0, "host", -5);
    negative.InitConnection();
    QCOMPARE(negative.statusLines,
             (std::vector<std::string>{"Waiting for a client to join...",
                                       "Cannot listen on port -5: port out of range"}));
    // The session goes on: queueing and ticks do no harm.
    negative.Queue("{1}", "{host}nobody hears");
    negative.session->SendQueueTick();
    QCOMPARE(negative.state.colSendQueue.size(), std::size_t{1});
}

void ServerLinkTest::listenBelow1024WithoutRights() {
    // Without the right to bind low ports: as an ordinary user anyway, as root by giving up
    // that capability for a while (this thread does the binding).
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2]{};
    QCOMPARE(::syscall(SYS_capget, &header, saved), 0L);
    __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
    reduced[0].effective &= ~(1U << CAP_NET_BIND_SERVICE);
    QCOMPARE(::syscall(SYS_capset, &header, reduced), 0L);
    HeadlessHost server(0, "host", 201);
    server.InitConnection();
    QCOMPARE(::syscall(SYS_capset, &header, saved), 0L);
    QCOMPARE(server.statusLines.back(),
             std::string("Cannot listen on port 201: permission denied (ports below 1024 need "
                         "administrator rights)"));
    QCOMPARE(server.Port(), uint16_t{0});
}

void ServerLinkTest::fullSlotTableTurnsNewClientsAway() {
    auto server = StartServer();
    server->session->SetSlotLimit(2);
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    QVERIFY(ann && bob);
    RawPeer third(server->Port());
    QVERIFY(third.WaitClosed());
    QCOMPARE(server->state.nUsers, int16_t{2});
    ann->Take();
    bob->Take();
    // The others are served as before.
    ann->Send("{1}{ann}still here\r\n");
    QVERIFY(bob->WaitContains("{1}{ann}still here\r\n"));
    QVERIFY(ann->WaitContains("{1}{ann}still here\r\n"));
    // A slot that frees up is used again.
    ann->socket.disconnectFromHost();
    QTRY_VERIFY(server->HasStatus("ann has been disconnected!"));
    auto cid = Join(*server, "cid");
    QVERIFY(cid);
    QCOMPARE(server->rows.back().iSlot, int16_t{1});
}

void ServerLinkTest::outOfDescriptorsShedsNewClients() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    QVERIFY(ann);
    ann->Take();

    // Client sockets made while descriptors are still there; connected once none is left.
    int waiting[3];
    for (int& fd : waiting) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        QVERIFY(fd >= 0);
    }
    // Use up every descriptor below the limit, holes included, as a busy server would.
    int nHighest = 0;
    for (const QString& name :
         QDir(QStringLiteral("/proc/self/fd"))
             .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        nHighest = std::max(nHighest, name.toInt());
    }
    std::vector<int> fillers;
    for (;;) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0 || fd > nHighest) {
            if (fd >= 0) {
                ::close(fd);
            }
            break;
        }
        fillers.push_back(fd);
    }
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(nHighest + 1);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    QCOMPARE(::open("/dev/null", O_RDONLY | O_CLOEXEC), -1);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server->Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (const int fd : waiting) {
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    bool bAllShed = QTest::qWaitFor(
        [&] {
            return FdSeesClose(waiting[0]) && FdSeesClose(waiting[1]) && FdSeesClose(waiting[2]);
        },
        10000);
    // ann is served meanwhile.
    ann->Send("{1}{ann}no descriptors left\r\n");
    const bool bServed = ann->WaitContains("{1}{ann}no descriptors left\r\n");
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &old), 0);
    for (const int fd : waiting) {
        ::close(fd);
    }
    for (const int fd : fillers) {
        ::close(fd);
    }
    QVERIFY(bAllShed);
    QVERIFY(bServed);
    QCOMPARE(server->state.nUsers, int16_t{1});

    // With descriptors back, clients are accepted again.
    auto bob = Join(*server, "bob");
    QVERIFY(bob);
    QCOMPARE(server->state.nUsers, int16_t{2});
}

void ServerLinkTest::tickDoesNotStartInsideATick() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    QVERIFY(ann && bob);
    QTRY_COMPARE(server->RowNames().size(), std::size_t{3});
    ann->Take();
    bob->Take();

    // While the tick lets events run after slot 1, another tick comes due and a message is
    // queued: the inner tick does nothing, the new message waits for the next tick.
    int nInner = 0;
    QTimer::singleShot(0, [&] {
        ++nInner;
        server->Queue("{1}", "{host}second");
        server->session->SendQueueTick();
        server->session->SendQueueTick();
    });
    server->Queue("{1}", "{host}first");
    server->session->SendQueueTick();
    QCOMPARE(nInner, 1);
    QCOMPARE(server->state.colSendQueue.size(), std::size_t{1});
    QCOMPARE(server->state.colSendQueue.front(), std::string("{1}{host}second"));
    for (RawPeer* peer : {ann.get(), bob.get()}) {
        QVERIFY(peer->WaitContains("{1}{host}second\r\n"));
        QCOMPARE(peer->Take(), QByteArray("{1}{host}first\r\n{1}{host}second\r\n"));
    }
}

void ServerLinkTest::eventsRunBatchedDuringRelayAndAfterEverySlotPass() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    QVERIFY(ann && bob);
    QTRY_COMPARE(server->RowNames().size(), std::size_t{3});
    bob->Take();

    // A stopped clock: within one interval no relay lets events run.
    int32_t lNow = 1000;
    server->state.GetTicks = [&] { return lNow; };
    QCOMPARE(server->session->EventInterval(), 5);
    const int nLines = 2000;
    const QByteArray strokes = DrawLines(0, nLines);
    int64_t nRunsAtFirst = -1;
    int64_t nRunsAtLast = -1;
    server->onDraw = [&](const zaplo::DrawRecord& record) {
        if (record.clr == 0) {
            nRunsAtFirst = server->session->EventRuns();
        } else if (record.clr == nLines - 1) {
            nRunsAtLast = server->session->EventRuns();
        }
    };
    ann->Send(strokes);
    QVERIFY(bob->WaitBytes(strokes.size()));
    QCOMPARE(bob->Take(), strokes);
    QVERIFY(nRunsAtFirst >= 0);
    QCOMPARE(nRunsAtLast, nRunsAtFirst);

    // The clock moves on by the interval: the next relay runs them.
    server->onDraw = [&](const zaplo::DrawRecord&) { lNow += 5; };
    const int64_t nBefore = server->session->EventRuns();
    ann->Send(DrawLines(0, 1));
    QVERIFY(bob->WaitBytes(1));
    QCOMPARE(server->session->EventRuns(), nBefore + 1);
    bob->Take();

    // Interval 0: after every single send.
    server->onDraw = nullptr;
    server->session->SetEventInterval(0);
    const int64_t nBefore0 = server->session->EventRuns();
    ann->Send(DrawLines(0, 100));
    QVERIFY(bob->WaitBytes(DrawLines(0, 100).size()));
    QTRY_COMPARE(server->session->EventRuns(), nBefore0 + 100);

    // The queue drain runs them once after each slot's pass, even with a stopped clock.
    server->session->SetEventInterval(5);
    const int64_t nBeforeTick = server->session->EventRuns();
    for (int i = 0; i < 50; ++i) {
        server->Queue("{11}", "");
    }
    server->session->SendQueueTick();
    QCOMPARE(server->session->EventRuns(), nBeforeTick + 2);
}

void ServerLinkTest::exitClosesEveryConnection() {
    auto server = StartServer();
    auto ann = Join(*server, "ann");
    auto bob = Join(*server, "bob");
    QVERIFY(ann && bob);
    server->session->CloseForExit();
    QVERIFY(ann->WaitClosed());
    QVERIFY(bob->WaitClosed());
    QCOMPARE(server->Port(), uint16_t{0});
    // Nothing is reported for closes made here.
    QCoreApplication::processEvents();
    QVERIFY(!server->HasStatus("ann has been disconnected!"));
}

QTEST_GUILESS_MAIN(ServerLinkTest)
#include "tst_ServerLink.moc"
