// SPDX-License-Identifier: MIT
// The built zaplo-server as a separate process, driven by raw peers: what it prints, how it
// ends on SIGTERM and SIGINT, and its exit statuses.
#include "tests/server/ServerProcess.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/RawPeer.h"
#include "tests/support/TestCertificates.h"

#include <QTest>
#include <QWebSocket>

#include <csignal>
#include <linux/capability.h>
#include <sys/prctl.h>

namespace {

// --port nPort --listen 127.0.0.1, then szMore split at its spaces.
QStringList Args(int16_t nPort, const char* szMore = "") {
    return QStringList{QStringLiteral("--port"), QString::number(nPort), QStringLiteral("--listen"),
                       QStringLiteral("127.0.0.1")} +
           QString::fromUtf8(szMore).split(u' ', Qt::SkipEmptyParts);
}

// A raw peer on nPort that has sent its join line.
std::unique_ptr<RawPeer> Join(int16_t nPort, const QByteArray& szLines) {
    auto peer = std::make_unique<RawPeer>(static_cast<uint16_t>(nPort));
    if (peer->WaitState(QTcpSocket::ConnectedState)) {
        peer->Send(szLines);
    }
    return peer;
}

} // namespace

class ServerProcessTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void servesThenEndsCleanlyOnASignal_data() {
        QTest::addColumn<int>("nSignal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void servesThenEndsCleanlyOnASignal() {
        QFETCH(int, nSignal);
        const int16_t nPort = FreeLowPort();
        ServerProcess server(Args(nPort, "--nick hub"));
        QVERIFY(server.WaitOut("Waiting for a client to join...\n"));
        auto ann = Join(nPort, "{2}ann\r\n");
        QCOMPARE(ann->TakeThrough("{8}"), QByteArray("{9}ann has joined!\r\n{8}hub;ann;\r\n"));
        auto bob = Join(nPort, "{2}bob\r\n{1}{bob}hello\r\n{10}1;2;3;4;255;\r\n{11}\r\n");
        // Relayed at once, the chat line echoed through the queue, as by the window's server.
        QCOMPARE(ann->TakeThrough("hello\r\n"),
                 QByteArray("{2}bob\r\n{10}1;2;3;4;255;\r\n{11}\r\n{1}{bob}hello\r\n"));
        QVERIFY(bob->TakeThrough("hello\r\n").endsWith("{8}hub;ann;bob;\r\n{1}{bob}hello\r\n"));
        bob->socket.disconnectFromHost();
        QCOMPARE(ann->TakeThrough("{8}"),
                 QByteArray("{9}bob has been disconnected!\r\n{8}hub;ann;\r\n"));
        QVERIFY(server.WaitOut("bob has been disconnected!\n"));

        ::kill(static_cast<pid_t>(server.process.processId()), nSignal);
        QVERIFY(server.WaitEnd());
        QCOMPARE(server.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.process.exitCode(), 0);
        QVERIFY(ann->WaitState(QTcpSocket::UnconnectedState));
        server.out += server.process.readAllStandardOutput();
        // Only status lines: no chat, no strokes, and nobody announced at the end.
        QCOMPARE(server.Lines(),
                 (QByteArrayList{"Waiting for a client to join...", "ann has joined!",
                                 "bob has joined!", "bob has been disconnected!"}));
        QCOMPARE(server.process.readAllStandardError(), QByteArray());
    }

    void sendPictureGivesANewcomerTheCanvas() {
        const int16_t nPort = FreeLowPort();
        ServerProcess server(Args(nPort, "--nick hub --send-picture"));
        QVERIFY(server.WaitOut("Waiting for a client to join...\n"));
        // Her chat line's echo follows her stroke. (Her own picture may bring the stroke too:
        // rows are read as they go out.)
        auto ann = Join(nPort, "{2}ann\r\n{10}1;2;30;2;255;\r\n{1}{ann}drawn\r\n");
        QVERIFY(ann->TakeThrough("drawn\r\n").endsWith("{1}{ann}drawn\r\n"));
        // The stroke comes back as the run of its pixels: the same record.
        QCOMPARE(Join(nPort, "{2}bob\r\n")->TakeThrough("{10}"),
                 QByteArray("{9}bob has joined!\r\n{8}hub;ann;bob;\r\n{10}1;2;30;2;255;\r\n"));
    }

    void cannotListenEndsWithStatus1_data() {
        QTest::addColumn<bool>("bLowPort");
        QTest::newRow("port in use") << false;
        QTest::newRow("below 1024 without the capability") << true;
    }
    void cannotListenEndsWithStatus1() {
        QFETCH(bool, bLowPort);
        QTcpServer taken;
        const int nPort = bLowPort ? 201 : ListenLow(taken);
        QProcess process;
        // Without CAP_NET_BIND_SERVICE in its bounding set even root cannot bind a low port.
        process.setChildProcessModifier(
            [] { ::prctl(PR_CAPBSET_DROP, CAP_NET_BIND_SERVICE, 0, 0, 0); });
        process.start(QStringLiteral(ZAPLO_SERVER_BIN),
                      {QStringLiteral("--port"), QString::number(nPort)});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 1);
        const QByteArray szReason =
            bLowPort ? "permission denied (ports below 1024 need administrator rights); use a "
                       "port from 1024 to 32767, or grant CAP_NET_BIND_SERVICE"
                     : "address already in use";
        QCOMPARE(process.readAllStandardError(), "zaplo-server: Cannot listen on port " +
                                                     QByteArray::number(nPort) + ": " + szReason +
                                                     "\n");
    }

    void tlsCertificateServesTlsOrEndsWithStatus1() {
        if (!TestCertificates::Available()) {
            QSKIP("needs the openssl command");
        }
        TestCertificates certs;
        QVERIFY(certs.SelfSigned(QStringLiteral("a")) && certs.SelfSigned(QStringLiteral("b")));
        // A key that is not the certificate's own: told, and nothing listens.
        const QString szCert = certs.Cert(QStringLiteral("a"));
        ServerProcess wrong(Args(FreeLowPort()) + QStringList{QStringLiteral("--tls-cert"), szCert,
                                                              QStringLiteral("--tls-key"),
                                                              certs.Key(QStringLiteral("b"))});
        QVERIFY(wrong.WaitEnd());
        QCOMPARE(wrong.process.exitCode(), 1);
        QVERIFY(wrong.process.readAllStandardError().startsWith(
            "zaplo-server: Cannot use the TLS certificate: " + szCert.toUtf8() + " and "));

        // The right pair, plain clients turned away: a TLS client joins, a plain one is told.
        const int16_t nPort = FreeLowPort();
        ServerProcess server(Args(nPort, "--require-tls") +
                             QStringList{QStringLiteral("--tls-cert"), szCert,
                                         QStringLiteral("--tls-key"),
                                         certs.Key(QStringLiteral("a"))});
        QVERIFY(server.WaitOut("Waiting for a client to join...\n"));
        auto ann = std::make_unique<HeadlessHost>(1, "ann", nPort);
        ann->state.szTlsFingerprint = TestCertificates::Fingerprint(szCert);
        ann->Start();
        QVERIFY(server.WaitOut("ann has joined!\n"));
        auto bob = Join(nPort, "{2}bob\r\n");
        QVERIFY(bob->WaitState(QTcpSocket::UnconnectedState));
        QCOMPARE(bob->got, QByteArray("{9}This session needs an encrypted connection.\r\n"));
        ann.reset();
        QVERIFY(server.WaitOut("ann has been disconnected!\n"));
        QCOMPARE(server.Lines(), (QByteArrayList{"Waiting for a client to join...",
                                                 "ann has joined!", "ann has been disconnected!"}));
    }

    void webGivesBrowsersThePageAndASlot() {
        const int16_t nPort = FreeLowPort();
        const int16_t nWeb = FreeLowPort();
        ServerProcess server(Args(nPort) +
                             QStringList{QStringLiteral("--web"), QString::number(nWeb)});
        QVERIFY(server.WaitOut("Waiting for a client to join...\n"));
        auto page = Join(nWeb, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(page->WaitState(QTcpSocket::UnconnectedState));
        QVERIFY(page->got.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(page->got.contains("\r\nContent-Security-Policy: default-src 'none'; "));
        auto ann = Join(nPort, "{2}ann\r\n");
        QVERIFY(ann->TakeThrough("{8}").endsWith("{8}host;ann;\r\n"));
        QWebSocket web(QStringLiteral("http://127.0.0.1:%1").arg(nWeb));
        QByteArrayList frames;
        QObject::connect(&web, &QWebSocket::binaryMessageReceived, &web,
                         [&](const QByteArray& frame) { frames << frame; });
        web.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(nWeb)));
        QVERIFY(QTest::qWaitFor([&] { return web.state() == QAbstractSocket::ConnectedState; },
                                kWaitMs));
        web.sendBinaryMessage("{2}web");
        QVERIFY(QTest::qWaitFor([&] { return frames.contains("{8}host;ann;web;"); }, kWaitMs));
        QCOMPARE(ann->TakeThrough("{2}web"), QByteArray("{2}web\r\n"));
        QVERIFY(server.WaitOut("web has joined!\n"));
        ::kill(static_cast<pid_t>(server.process.processId()), SIGTERM);
        QVERIFY(server.WaitEnd());
        QCOMPARE(server.process.exitCode(), 0);
    }

    void badOptionsEndWithStatus2AndOneLine() {
        ServerProcess bad({QStringLiteral("--nick"), QStringLiteral("a\nb")});
        QVERIFY(bad.WaitEnd());
        QCOMPARE(bad.process.exitCode(), 2);
        QCOMPARE(bad.process.readAllStandardError(),
                 QByteArray("zaplo-server: --nick: the nickname must not hold a line break (see "
                            "zaplo-server --help)\n"));
        QCOMPARE(bad.out + bad.process.readAllStandardOutput(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(ServerProcessTest)
#include "tst_ServerProcess.moc"
