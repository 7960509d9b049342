// Client sessions against a server session in the same process, and against bare listeners
// for the connection wait: joining, chat and strokes across sessions, the failed and the
// timed-out wait (on an injected clock), and the lost server.
#include "HeadlessHost.h"

#include "gfx/Ticks.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <memory>

namespace {

// A port that the 16-bit nPort can hold, picked at random from the upper half of its range.
int16_t LowPort() {
    return static_cast<int16_t>(20000 + QRandomGenerator::global()->bounded(12000));
}

// A server session on a port that clients can be configured with.
std::unique_ptr<HeadlessHost> StartServer() {
    for (int nTry = 0; nTry < 50; ++nTry) {
        auto server = std::make_unique<HeadlessHost>(0, "host", LowPort());
        server->InitConnection();
        if (server->Port() != 0) {
            return server;
        }
    }
    return nullptr;
}

std::unique_ptr<HeadlessHost> MakeClient(const std::string& szNick, int16_t nPort) {
    auto client = std::make_unique<HeadlessHost>(1, szNick, nPort);
    return client;
}

// A low port where nobody listens.
int16_t ClosedPort() {
    for (;;) {
        const int16_t nPort = LowPort();
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, static_cast<quint16>(nPort))) {
            return nPort;
        }
    }
}

// A listener that never accepts, with its queue filled: a further connection attempt gets no
// answer at all, as with a host that does not reply.
class SilentListener {
public:
    SilentListener() {
        for (int nTry = 0; nTry < 50 && nPort_ == 0; ++nTry) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const int16_t nPort = LowPort();
            address.sin_port = htons(static_cast<uint16_t>(nPort));
            if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(fd, 0) == 0) {
                fd_ = fd;
                nPort_ = nPort;
            } else {
                ::close(fd);
            }
        }
        // Fill the accept queue (one connection with a backlog of 0), and one more for safety.
        for (int i = 0; i < 2 && fd_ >= 0; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<uint16_t>(nPort_));
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            if (i == 0) {
                pollfd up{fd, POLLOUT, 0};
                ::poll(&up, 1, 5000);
            }
            fillers_.push_back(fd);
        }
    }
    ~SilentListener() {
        for (const int fd : fillers_) {
            ::close(fd);
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    int16_t Port() const { return nPort_; }

private:
    int fd_ = -1;
    int16_t nPort_ = 0;
    std::vector<int> fillers_;
};

} // namespace

class ClientLinkTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void joiningFillsListsOnEverySide();
    void chatStrokesAndClearsTravelBetweenSessions();
    void bytesBetweenClientAndBareServer();
    void refusedConnectionFailsAtOnce();
    void unknownHostFailsAtOnce();
    void silentHostWaitsTheFullDeadline();
    void waitSleepsInsteadOfSpinning();
    void lostServerIsReportedAndQueueHeld();
};

void ClientLinkTest::joiningFillsListsOnEverySide() {
    auto server = StartServer();
    QVERIFY(server);
    auto ann = MakeClient("ann", server->state.nPort);
    ann->InitConnection();
    QCOMPARE(ann->nConnectFailed, 0);
    QVERIFY(ann->state.bConnected);
    QCOMPARE(ann->statusLines.front(), std::string("Connecting..."));
    QTRY_VERIFY(ann->HasStatus("ann has joined!"));
    QTRY_COMPARE(ann->RowNames(), (std::vector<std::string>{"host", "ann"}));

    auto bob = MakeClient("bob", server->state.nPort);
    bob->InitConnection();
    QTRY_COMPARE(bob->RowNames(), (std::vector<std::string>{"host", "ann", "bob"}));
    QTRY_VERIFY(ann->HasStatus("bob has joined!"));
    QCOMPARE(ann->RowNames(), (std::vector<std::string>{"host", "ann", "bob"}));
    QCOMPARE(server->RowNames(), (std::vector<std::string>{"host", "ann", "bob"}));
    QCOMPARE(server->state.nUsers, int16_t{2});
    QCOMPARE(ann->statusLines,
             (std::vector<std::string>{"Connecting...", "ann has joined!", "bob has joined!"}));
}

void ClientLinkTest::chatStrokesAndClearsTravelBetweenSessions() {
    auto server = StartServer();
    QVERIFY(server);
    auto ann = MakeClient("ann", server->state.nPort);
    auto bob = MakeClient("bob", server->state.nPort);
    ann->InitConnection();
    bob->InitConnection();
    QTRY_COMPARE(server->RowNames().size(), std::size_t{3});

    // A client sees its own chat line only through the server's echo.
    ann->Queue("{1}", "{ann}hello");
    QTRY_VERIFY(bob->HasChat("{ann}hello"));
    QTRY_VERIFY(ann->HasChat("{ann}hello"));
    QVERIFY(server->HasChat("{ann}hello"));
    QCOMPARE(ann->chatLines.size(), std::size_t{1});

    // A stroke is drawn everywhere except where it was made (that side drew it itself).
    bob->Queue("{10}", "10;20;30;40;65280;");
    QTRY_COMPARE(ann->draws.size(), std::size_t{1});
    QCOMPARE(server->draws.size(), std::size_t{1});
    QCOMPARE(ann->draws[0].sx, int16_t{10});
    QCOMPARE(ann->draws[0].dy, int16_t{40});
    QCOMPARE(ann->draws[0].clr, 65280);

    // The server user's own chat line and clear go to both clients.
    server->Queue("{1}", "{host}welcome");
    server->Queue("{11}", "");
    QTRY_COMPARE(bob->nErases, 1);
    QTRY_COMPARE(ann->nErases, 1);
    QVERIFY(ann->HasChat("{host}welcome"));
    QVERIFY(bob->HasChat("{host}welcome"));
    QCOMPARE(bob->draws.size(), std::size_t{0});
    QCOMPARE(server->nErases, 0);
}

void ClientLinkTest::bytesBetweenClientAndBareServer() {
    QTcpServer server;
    const int16_t nPort = ClosedPort();
    QVERIFY(server.listen(QHostAddress::LocalHost, static_cast<quint16>(nPort)));
    auto ann = MakeClient("ann", nPort);
    ann->InitConnection();
    QCOMPARE(ann->nConnectFailed, 0);
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket* peer = server.nextPendingConnection();

    // The join was queued first; one tick sends everything in order, each with CR LF.
    ann->Queue("{1}", "{ann}one");
    ann->Queue("{11}", "");
    ann->Queue("{10}", "1;2;3;4;5;");
    ann->session->SendQueueTick();
    QVERIFY(ann->state.colSendQueue.empty());
    const QByteArray expected("{2}ann\r\n{1}{ann}one\r\n{11}\r\n{10}1;2;3;4;5;\r\n");
    QByteArray got;
    QTRY_VERIFY((got += peer->readAll(), got.size() >= expected.size()));
    QCOMPARE(got, expected);

    // Messages split anywhere, even between CR and LF, arrive whole.
    for (const char* part : {"{9}hel", "lo there\r", "\n{8}host;a", "nn;\r\n{1}{host}x\r\n"}) {
        peer->write(part);
        peer->flush();
        QTRY_VERIFY(peer->bytesToWrite() == 0);
        QCoreApplication::processEvents();
    }
    QTRY_VERIFY(ann->HasChat("{host}x"));
    QVERIFY(ann->HasStatus("hello there"));
    QCOMPARE(ann->RowNames(), (std::vector<std::string>{"host", "ann"}));

    // Exit closes nothing in client mode.
    ann->session->CloseForExit();
    ann->Queue("{11}", "");
    ann->session->SendQueueTick();
    got.clear();
    QTRY_VERIFY((got += peer->readAll(), got == "{11}\r\n"));
    QCOMPARE(peer->state(), QAbstractSocket::ConnectedState);
}

void ClientLinkTest::refusedConnectionFailsAtOnce() {
    auto ann = MakeClient("ann", ClosedPort());
    // Each reading of the clock moves it by a second: waiting out the deadline would take 60
    // readings, the refusal ends the wait within a few.
    int32_t lNow = 5000;
    ann->state.GetTicks = [&] { return lNow += 1000; };
    ann->InitConnection();
    QVERIFY2(lNow < 5000 + 30 * 1000, QByteArray::number(lNow).constData());
    QCOMPARE(ann->nConnectFailed, 1);
    QVERIFY(ann->state.bConnected);
    QCOMPARE(ann->statusLines, std::vector<std::string>{"Connecting..."});
    // The join message is reported once at the next tick and dropped; so is every later one.
    ann->session->SendQueueTick();
    QCOMPARE(ann->statusLines, (std::vector<std::string>{"Connecting...", "No Server!"}));
    ann->Queue("{1}", "{ann}anyone?");
    ann->Queue("{11}", "");
    ann->session->SendQueueTick();
    QCOMPARE(ann->CountStatus("No Server!"), 3);
    QVERIFY(ann->state.colSendQueue.empty());
}

void ClientLinkTest::unknownHostFailsAtOnce() {
    // No name at all: the lookup fails at once, long before the deadline (60 readings away).
    auto ann = MakeClient("ann", 201);
    ann->state.szServerIP = "";
    int32_t lNow = 5000;
    ann->state.GetTicks = [&] { return lNow += 1000; };
    ann->InitConnection();
    QVERIFY2(lNow < 5000 + 30 * 1000, QByteArray::number(lNow).constData());
    QCOMPARE(ann->nConnectFailed, 1);
    QVERIFY(ann->state.bConnected);

    // A name nobody knows: the attempt fails whether the lookup answers fast or slowly.
    auto bob = MakeClient("bob", 201);
    bob->state.szServerIP = "no-such-host.invalid";
    QElapsedTimer real;
    real.start();
    bob->state.GetTicks = [&] { return static_cast<int32_t>(real.elapsed() * 60); };
    bob->InitConnection();
    QCOMPARE(bob->nConnectFailed, 1);
    bob->session->SendQueueTick();
    QCOMPARE(bob->CountStatus("No Server!"), 1);
}

void ClientLinkTest::silentHostWaitsTheFullDeadline() {
    SilentListener silent;
    QVERIFY(silent.Port() != 0);
    auto ann = MakeClient("ann", silent.Port());
    // Start just before the counter wraps, so the deadline lies beyond the wrap.
    const int32_t lStart = INT32_MAX - 20000;
    const int32_t lDeadline = zaplo::TicksAfter(lStart, 60000);
    int32_t lNow = lStart;
    ann->state.GetTicks = [&] { return lNow; };
    int nFailedAtDeadline = -1;
    std::vector<std::string> statusAtDeadline;
    QTimer::singleShot(30, [&] { lNow = lDeadline; });
    QTimer::singleShot(90, [&] {
        // Reaching the deadline is not passing it.
        nFailedAtDeadline = ann->nConnectFailed;
        statusAtDeadline = ann->statusLines;
        lNow = zaplo::TicksAfter(lDeadline, 1);
    });
    QElapsedTimer real;
    real.start();
    ann->InitConnection();
    QCOMPARE(nFailedAtDeadline, 0);
    QCOMPARE(statusAtDeadline, std::vector<std::string>{"Connecting..."});
    QCOMPARE(ann->nConnectFailed, 1);
    QVERIFY(real.elapsed() < 20000);
    QVERIFY(ann->state.bConnected);
    ann->session->SendQueueTick();
    QCOMPARE(ann->statusLines, (std::vector<std::string>{"Connecting...", "No Server!"}));
}

void ClientLinkTest::waitSleepsInsteadOfSpinning() {
    SilentListener silent;
    QVERIFY(silent.Port() != 0);
    auto ann = MakeClient("ann", silent.Port());
    // A clock 300 times faster than real time: the 60 s wait takes 200 ms.
    QElapsedTimer real;
    real.start();
    int64_t nReadings = 0;
    ann->state.GetTicks = [&] {
        ++nReadings;
        return static_cast<int32_t>(real.elapsed() * 300);
    };
    ann->session->ClientConnect();
    QCOMPARE(ann->nConnectFailed, 1);
    // A spinning wait reads the clock millions of times in 200 ms; a sleeping one wakes for
    // the timers only.
    QVERIFY2(nReadings < 5000, QByteArray::number(nReadings).constData());
}

void ClientLinkTest::lostServerIsReportedAndQueueHeld() {
    auto server = StartServer();
    QVERIFY(server);
    auto ann = MakeClient("ann", server->state.nPort);
    ann->InitConnection();
    QTRY_VERIFY(ann->HasStatus("ann has joined!"));

    // The server's window goes (Reset): every connection closes.
    server->session.reset();
    QTRY_VERIFY(ann->HasStatus("Lost connection to server!"));
    QVERIFY(!ann->state.bConnected);
    QCOMPARE(ann->CountStatus("Lost connection to server!"), 1);

    // Typed afterwards: not shown, not sent, not reported; it stays queued.
    ann->Queue("{1}", "{ann}anyone?");
    ann->session->SendQueueTick();
    QCOMPARE(ann->state.colSendQueue.size(), std::size_t{1});
    QVERIFY(!ann->HasChat("{ann}anyone?"));
    QVERIFY(!ann->HasStatus("No Server!"));
}

QTEST_GUILESS_MAIN(ClientLinkTest)
#include "tst_ClientLink.moc"
