// SPDX-License-Identifier: MIT
// A running zaplo-server controlled through its local socket by `zaplo-server --control`, and
// who may join as its options set it: what raw peers see on the wire, and that the socket is
// closed to other users.
#include "tests/server/ServerProcess.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/RawPeer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QMessageAuthenticationCode>
#include <QTest>

#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QRegularExpression kChallenge(QStringLiteral("^\\{12\\}[0-9a-f]{32}\r\n$"));

struct Answer {
    int nStatus = -1;
    QByteArray out;
    QByteArray err;
};

// `zaplo-server --control WORDS` at szSocket, optionally as another user.
Answer Control(const QString& szSocket, const QStringList& words, uid_t nAsUser = 0) {
    QProcess process;
    if (nAsUser != 0) {
        process.setChildProcessModifier([nAsUser] {
            if (::setgid(nAsUser) != 0 || ::setuid(nAsUser) != 0) {
                ::_exit(99);
            }
        });
    }
    process.start(QStringLiteral(ZAPLO_SERVER_BIN),
                  QStringList{QStringLiteral("--control-socket"), szSocket,
                              QStringLiteral("--control"), QStringLiteral("--")} +
                      words);
    if (!process.waitForFinished(kWaitMs)) {
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// What the server wrote back to szRequest on a connection of its own before closing it.
QByteArray Ask(const QString& szSocket, const QByteArray& szRequest) {
    QLocalSocket socket;
    socket.connectToServer(szSocket);
    if (!socket.waitForConnected(kWaitMs) || socket.write(szRequest) < 0) {
        return "(no connection)";
    }
    (void)socket.waitForDisconnected(kWaitMs);
    return socket.state() == QLocalSocket::UnconnectedState ? socket.readAll() : "(still open)";
}

// --port (free) --listen 127.0.0.1, then extra.
QStringList Args(const QStringList& extra) {
    return QStringList{QStringLiteral("--port"), QString::number(FreeLowPort()),
                       QStringLiteral("--listen"), QStringLiteral("127.0.0.1")} +
           extra;
}

QString File(const QTemporaryDir& dir, const QString& szName, const QByteArray& content) {
    const QString szPath = dir.filePath(szName);
    QFile file(szPath);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
    }
    return szPath;
}

// A server on 127.0.0.1 with its control socket in a folder of the test's own.
struct ControlledServer {
    explicit ControlledServer(QStringList extra = {})
        : nPort(FreeLowPort()), szSocket(dir.filePath(QStringLiteral("ctl/control"))),
          server(QStringList{QStringLiteral("--port"), QString::number(nPort),
                             QStringLiteral("--nick"), QStringLiteral("hub"),
                             QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                             QStringLiteral("--control-socket"), szSocket} +
                 extra) {}
    // Listening and its socket there.
    bool Ready() {
        return server.WaitOut("Waiting for a client to join...\n") &&
               QTest::qWaitFor([this] { return QFileInfo::exists(szSocket); }, kWaitMs);
    }
    // szWords split at their spaces.
    Answer Run(const QString& szWords) { return Control(szSocket, szWords.split(u' ')); }
    std::unique_ptr<RawPeer> Peer() {
        return std::make_unique<RawPeer>(static_cast<uint16_t>(nPort));
    }
    // A peer that sent szNick's join line; with bAnswered, its answer taken.
    std::unique_ptr<RawPeer> Join(const QByteArray& szNick, bool bAnswered = true) {
        auto peer = Peer();
        if (peer->WaitState(QTcpSocket::ConnectedState)) {
            peer->Send("{2}" + szNick + "\r\n");
            if (bAnswered) {
                (void)peer->TakeThrough("{8}");
            }
        }
        return peer;
    }

    QTemporaryDir dir;
    int16_t nPort;
    QString szSocket;
    ServerProcess server;
};

} // namespace

class ServerControlTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void socketIsClosedToOtherUsers() {
        ControlledServer host;
        QVERIFY(host.Ready());
        struct stat st {};
        const QByteArray szDir = QFileInfo(host.szSocket).absolutePath().toUtf8();
        QCOMPARE(::lstat(szDir.constData(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(st.st_mode & 07777, 0700U);
        QCOMPARE(st.st_uid, ::geteuid());
        QCOMPARE(::lstat(host.szSocket.toUtf8().constData(), &st), 0);
        QVERIFY(S_ISSOCK(st.st_mode));
        QCOMPARE(st.st_mode & 077, 0U);
        QCOMPARE(st.st_uid, ::geteuid());

        const Answer own = host.Run(QStringLiteral("bans"));
        QCOMPARE(own.err, QByteArray());
        QCOMPARE(own.nStatus, 0);
        if (::geteuid() == 0) {
            // Somebody else on the machine cannot even reach it.
            const Answer other = Control(host.szSocket, {QStringLiteral("clear")}, 65534);
            QCOMPARE(other.nStatus, 1);
            QVERIFY2(other.err.startsWith("zaplo-server: cannot reach " + host.szSocket.toUtf8()),
                     other.err.constData());
        }
        // Ending cleanly takes the socket away.
        ::kill(static_cast<pid_t>(host.server.process.processId()), SIGTERM);
        QVERIFY(host.server.WaitEnd());
        QCOMPARE(host.server.process.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(host.szSocket));
    }

    void aSocketPlaceThatIsNotPrivateOrTakenIsRefused() {
        QTemporaryDir dir;
        // A folder others may enter.
        const QString szOpen = dir.filePath(QStringLiteral("open"));
        QVERIFY(QDir().mkdir(szOpen));
        QVERIFY(QFile::setPermissions(szOpen, QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ReadOther |
                                                  QFile::ExeOther));
        ServerProcess open(
            Args({QStringLiteral("--control-socket"), szOpen + QStringLiteral("/control")}));
        QVERIFY(open.WaitEnd());
        QCOMPARE(open.process.exitCode(), 1);
        QCOMPARE(open.process.readAllStandardError(),
                 "zaplo-server: --control-socket: the folder " + szOpen.toUtf8() +
                     " is open to other users (mode 0705); it must be this user's, mode 0700\n");

        // A socket left behind by a server that is gone is taken over.
        const QString szStale = dir.filePath(QStringLiteral("stale/control"));
        QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("stale"))));
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("stale")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, szStale.toUtf8().constData(), sizeof address.sun_path - 1);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
        ServerProcess first(Args({QStringLiteral("--control-socket"), szStale}));
        QVERIFY(first.WaitOut("Waiting for a client to join...\n"));
        QTRY_COMPARE_WITH_TIMEOUT(Control(szStale, {QStringLiteral("who")}).nStatus, 0, kWaitMs);

        // A live one is another server's.
        ServerProcess second(Args({QStringLiteral("--control-socket"), szStale}));
        QVERIFY(second.WaitEnd());
        QCOMPARE(second.process.exitCode(), 1);
        QCOMPARE(second.process.readAllStandardError(),
                 "zaplo-server: --control-socket: " + szStale.toUtf8() +
                     " is another zaplo-server's (choose another with --control-socket)\n");
        QCOMPARE(Control(szStale, {QStringLiteral("who")}).nStatus, 0);
    }

    void everyCommandIsSeenOnTheWire() {
        ControlledServer host;
        QVERIFY(host.Ready());
        std::unique_ptr<RawPeer> ann = host.Join("ann");
        std::unique_ptr<RawPeer> bob = host.Join("bob");
        (void)ann->TakeThrough("{2}bob");

        Answer answer = host.Run(QStringLiteral("who"));
        QCOMPARE(answer.nStatus, 0);
        QCOMPARE(answer.out, QByteArray("#1 127.0.0.1 ann\n#2 127.0.0.1 bob\n"));

        QCOMPARE(host.Run(QStringLiteral("say hello all")).out, QByteArray("said to everybody\n"));
        QCOMPARE(ann->TakeThrough("{1}"), QByteArray("{1}{hub}hello all\r\n"));
        QCOMPARE(bob->TakeThrough("{1}"), QByteArray("{1}{hub}hello all\r\n"));

        QCOMPARE(host.Run(QStringLiteral("clear")).out, QByteArray("cleared everybody's canvas\n"));
        QCOMPARE(ann->TakeThrough("{11}"), QByteArray("{11}\r\n"));

        QCOMPARE(host.Run(QStringLiteral("disconnect bob")).out,
                 QByteArray("disconnected bob (#2, 127.0.0.1)\n"));
        QVERIFY(bob->WaitState(QTcpSocket::UnconnectedState));
        QCOMPARE(ann->TakeThrough("{8}"),
                 QByteArray("{9}bob has been disconnected!\r\n{8}hub;ann;\r\n"));

        // Nobody of that name: nothing happens, and the reason goes to standard error.
        answer = host.Run(QStringLiteral("ban bob"));
        QCOMPARE(answer.nStatus, 1);
        QCOMPARE(answer.out, QByteArray());
        QCOMPARE(answer.err, QByteArray("zaplo-server: nobody called bob has joined (who lists "
                                        "them)\n"));

        answer = host.Run(QStringLiteral("ban ann"));
        QCOMPARE(answer.nStatus, 0);
        QCOMPARE(answer.out, QByteArray("banned 127.0.0.1: ann (#1, 127.0.0.1) disconnected\n"));
        QVERIFY(ann->WaitState(QTcpSocket::UnconnectedState));
        const auto refused = host.Peer();
        QVERIFY(refused->WaitState(QTcpSocket::UnconnectedState));
        QCOMPARE(refused->got, QByteArray("{9}You are banned from this session.\r\n"));
        QCOMPARE(host.Run(QStringLiteral("bans")).out, QByteArray("127.0.0.1\n"));
        QCOMPARE(host.Run(QStringLiteral("who")).out, QByteArray());
        QCOMPARE(host.Run(QStringLiteral("unban 127.0.0.1")).out,
                 QByteArray("unbanned 127.0.0.1\n"));
        QCOMPARE(host.Run(QStringLiteral("bans")).out, QByteArray());

        // A password from a file: new connections are challenged; off again: they are not.
        QTemporaryDir files;
        const QString szPassword = File(files, QStringLiteral("pw"), "letmein\n");
        QCOMPARE(host.Run(QStringLiteral("password ") + szPassword).out,
                 QByteArray("password set: new connections need it\n"));
        const auto carl = host.Peer();
        QVERIFY(carl->WaitBytes(38));
        QVERIFY2(kChallenge.match(QString::fromLatin1(carl->got)).hasMatch(),
                 carl->got.constData());
        carl->Send("{2}carl\r\n");
        QVERIFY(carl->WaitState(QTcpSocket::UnconnectedState));
        QVERIFY(carl->got.endsWith("{9}This session needs a password.\r\n"));
        QCOMPARE(host.Run(QStringLiteral("password off")).out,
                 QByteArray("password off: new connections join without one\n"));
        std::unique_ptr<RawPeer> dora = host.Join("dora");
        QCOMPARE(host.Run(QStringLiteral("who")).out, QByteArray("#1 127.0.0.1 dora\n"));

        // The picture for newcomers, from now on.
        QCOMPARE(host.Run(QStringLiteral("picture on")).out,
                 QByteArray("picture on: newcomers get the canvas\n"));
        dora->Send("{10}1;2;30;2;255;\r\n{1}{dora}drawn\r\n");
        QVERIFY(dora->TakeThrough("drawn\r\n").endsWith("{1}{dora}drawn\r\n"));
        QCOMPARE(host.Join("eve", false)->TakeThrough("{10}"),
                 QByteArray("{9}eve has joined!\r\n{8}hub;dora;eve;\r\n{10}1;2;30;2;255;\r\n"));
        QCOMPARE(host.Run(QStringLiteral("picture off")).out,
                 QByteArray("picture off: none kept\n"));
        std::unique_ptr<RawPeer> fay = host.Join("fay");
        fay->Send("{1}{fay}done\r\n");
        QCOMPARE(fay->TakeThrough("done\r\n"), QByteArray("{1}{fay}done\r\n"));

        // Only status lines are printed; the operator's commands show as what they caused.
        QVERIFY(host.server.WaitOut("fay has joined!\n"));
        QVERIFY(host.server.Lines().contains("bob has been disconnected!"));
        QVERIFY(host.server.Lines().contains("ann has been disconnected!"));
    }

    void requestsAreBoundedAndAnsweredOnce() {
        ControlledServer host;
        QVERIFY(host.Ready());
        std::unique_ptr<RawPeer> ann = host.Join("ann");

        // A line too long is refused before its end comes.
        QCOMPARE(Ask(host.szSocket, QByteArray(5000, 'x')),
                 QByteArray("error the request is longer than 4095 bytes\n"));

        // One request per connection: the second is not looked at.
        QCOMPARE(Ask(host.szSocket, "bans\nclear\n"), QByteArray("ok\n"));
        QCOMPARE(host.Run(QStringLiteral("say after")).nStatus, 0);
        QCOMPARE(ann->TakeThrough("after"), QByteArray("{1}{hub}after\r\n")); // no {11} first

        // A peer that says nothing is let go.
        QCOMPARE(Ask(host.szSocket, {}), QByteArray());

        // A wrong command never leaves the command line; nobody listening is status 1.
        Answer answer = host.Run(QStringLiteral("frob"));
        QCOMPARE(answer.nStatus, 2);
        QCOMPARE(answer.err, QByteArray("zaplo-server: --control: unknown command: frob (who, "
                                        "disconnect, ban, bans, unban, clear, say, password, "
                                        "picture)\n"));
        answer = Control(host.dir.filePath(QStringLiteral("none")), {QStringLiteral("who")});
        QCOMPARE(answer.nStatus, 1);
        QVERIFY(answer.err.startsWith("zaplo-server: cannot reach "));
        answer = host.Run(QStringLiteral("password ") + host.dir.filePath(QStringLiteral("no")));
        QCOMPARE(answer.nStatus, 2);
        QVERIFY(answer.err.startsWith("zaplo-server: --control: cannot read "));
    }

    void passwordFileChallengesEveryConnection() {
        QTemporaryDir files;
        ControlledServer host(
            {QStringLiteral("--password-file"), File(files, QStringLiteral("pw"), "s3cret\r\n")});
        QVERIFY(host.Ready());
        // The right answer joins.
        const auto ann = host.Peer();
        QVERIFY(ann->WaitBytes(38));
        QVERIFY(kChallenge.match(QString::fromLatin1(ann->got)).hasMatch());
        const QByteArray szAnswer = QMessageAuthenticationCode::hash(ann->got.mid(4, 32), "s3cret",
                                                                     QCryptographicHash::Sha256)
                                        .toHex();
        ann->got.clear();
        ann->Send("{12}" + szAnswer + "\r\n{2}ann\r\n");
        QCOMPARE(ann->TakeThrough("{8}"), QByteArray("{9}ann has joined!\r\n{8}hub;ann;\r\n"));
        // A wrong one is told and closed.
        const auto bob = host.Peer();
        QVERIFY(bob->WaitBytes(38));
        bob->got.clear();
        bob->Send("{12}" + QByteArray(64, '0') + "\r\n{2}bob\r\n");
        QVERIFY(bob->WaitState(QTcpSocket::UnconnectedState));
        QCOMPARE(bob->got, QByteArray("{9}Wrong password.\r\n"));
        QCOMPARE(host.Run(QStringLiteral("who")).out, QByteArray("#1 127.0.0.1 ann\n"));
    }

    void banFileAndLimitsRefuseAtTheDoor() {
        QTemporaryDir files;
        // A bad line: named with its number, and nothing listens.
        const QString szBad =
            File(files, QStringLiteral("bad"), "# school\n10.0.0.0/8\nnot-an-address\n");
        ServerProcess bad(Args({QStringLiteral("--ban-file"), szBad}));
        QVERIFY(bad.WaitEnd());
        QCOMPARE(bad.process.exitCode(), 2);
        QCOMPARE(bad.process.readAllStandardError(),
                 "zaplo-server: --ban-file: " + szBad.toUtf8() +
                     " line 3: not an address or prefix: not-an-address\n");
        QCOMPARE(bad.out, QByteArray());

        const QString szBans =
            File(files, QStringLiteral("bans"), "192.0.2.7\n127.0.0.0/8 # here\n");
        const std::pair<QStringList, QByteArray> doors[] = {
            {{QStringLiteral("--ban-file"), szBans}, "{9}You are banned from this session.\r\n"},
            {{QStringLiteral("--max-users"), QStringLiteral("1")}, "{9}The session is full.\r\n"},
            {{QStringLiteral("--max-per-address"), QStringLiteral("1")},
             "{9}Too many connections from your address.\r\n"}};
        for (const auto& [options, szTold] : doors) {
            ControlledServer host(options);
            QVERIFY(host.Ready());
            // Banned: told at the door; full: at the join line; one address: at the door.
            const bool bBans = options[0] == QStringLiteral("--ban-file");
            const auto ann = bBans ? nullptr : host.Join("ann");
            const auto bob =
                options[0] == QStringLiteral("--max-users") ? host.Join("bob", false) : host.Peer();
            QVERIFY(bob->WaitState(QTcpSocket::UnconnectedState));
            QCOMPARE(bob->got, szTold);
            if (bBans) {
                QCOMPARE(host.Run(QStringLiteral("bans")).out,
                         QByteArray("192.0.2.7\n127.0.0.0/8\n"));
            }
        }
        // By default a class of thirty behind one address joins.
        ControlledServer host;
        QVERIFY(host.Ready());
        std::vector<std::unique_ptr<RawPeer>> pupils;
        for (int i = 0; i < 30; ++i) {
            pupils.push_back(host.Join("p" + QByteArray::number(i)));
        }
        const Answer who = host.Run(QStringLiteral("who"));
        QCOMPARE(who.out.count('\n'), 30);
        QVERIFY(who.out.endsWith(" p29\n"));
    }
};

QTEST_GUILESS_MAIN(ServerControlTest)
#include "tst_ServerControl.moc"
