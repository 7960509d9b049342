// SPDX-License-Identifier: MIT
// The web port over real sockets: the page and its headers, the origin check, browsers in the
// session beside TCP peers, bad frames, floods and browsers that stop reading.
#include "tests/web/WebParty.h"

#include "net/AcceptGate.h"
#include "net/BridgeRegistry.h"
#include "net/core/ReceiveBuffer.h"
#include "tests/support/TestCertificates.h"
#include "web/BrowserBridge.h"
#include "web/HttpRequest.h"

#include <QFile>
#include <QTest>

#include <optional>

namespace {

// A whole HTTP exchange over a raw connection: sends request, returns everything until the
// server closes.
QByteArray Exchange(uint16_t nPort, const QByteArray& request) {
    RawPeer peer(nPort);
    if (!peer.WaitState(QTcpSocket::ConnectedState)) {
        return {};
    }
    peer.Send(request);
    (void)peer.WaitState(QTcpSocket::UnconnectedState);
    return peer.got;
}

QByteArray Get(uint16_t nPort, const QByteArray& path, const QByteArray& extra = {}) {
    return Exchange(nPort, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                               QByteArray::number(nPort) + "\r\n" + extra + "\r\n");
}

QByteArray Resource(const QString& name) {
    QFile file(QStringLiteral(":/web/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Body(const QByteArray& reply) {
    return reply.mid(reply.indexOf("\r\n\r\n") + 4);
}

} // namespace

class WebGatewayTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void servesThePageItsScriptAndStyleWithTheSecurityHeaders() {
        WebServer party;
        QVERIFY(party.bListening);
        struct Case {
            QByteArray path;
            QString file;
            QByteArray type;
        };
        for (const Case& c :
             {Case{"/", QStringLiteral("index.html"), "text/html; charset=utf-8"},
              Case{"/app.js?v=1", QStringLiteral("app.js"), "text/javascript; charset=utf-8"},
              Case{"/app.css", QStringLiteral("app.css"), "text/css; charset=utf-8"}}) {
            const QByteArray reply = Get(party.WebPort(), c.path);
            QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\n"), reply.constData());
            QVERIFY(!Resource(c.file).isEmpty());
            QCOMPARE(Body(reply), Resource(c.file));
            QVERIFY(reply.contains("\r\nContent-Type: " + c.type + "\r\n"));
            // The full set of headers is HttpReply's; here only that they reach the wire.
            QVERIFY(reply.contains("\r\nX-Frame-Options: DENY\r\n"));
        }
        // Nothing else is there: other paths, other methods, /ws without an upgrade.
        QVERIFY(Get(party.WebPort(), "/index.html").startsWith("HTTP/1.1 404 Not Found\r\n"));
        QVERIFY(Get(party.WebPort(), "/../etc/passwd").startsWith("HTTP/1.1 404 "));
        QVERIFY(Get(party.WebPort(), "/ws").startsWith("HTTP/1.1 404 "));
        QVERIFY(Exchange(party.WebPort(), "POST / HTTP/1.1\r\nHost: x\r\n\r\n")
                    .startsWith("HTTP/1.1 404 "));
        const QByteArray head = Exchange(party.WebPort(), "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(head.startsWith("HTTP/1.1 200 OK\r\n") && head.endsWith("\r\n\r\n"));
        QVERIFY(Exchange(party.WebPort(), "GET / HTTP/1.1\r\nno colon\r\n\r\n")
                    .startsWith("HTTP/1.1 400 "));
        const QByteArray pad(static_cast<qsizetype>(zaplo::HttpRequest::kMaxHead), 'a');
        QVERIFY(Get(party.WebPort(), "/", "X-Pad: " + pad + "\r\n").startsWith("HTTP/1.1 431 "));
        // Nobody joined the session for any of it.
        QCOMPARE(party.server.users.Names(), std::vector<std::string>{"host"});
    }

    void silentAndSlowRequestsAreLetGo() {
        WebServer party;
        QVERIFY(party.bListening);
        party.web.SetHeadWait(300);
        RawPeer silent(party.WebPort());
        RawPeer dribbling(party.WebPort());
        QVERIFY(silent.WaitState(QTcpSocket::ConnectedState) &&
                dribbling.WaitState(QTcpSocket::ConnectedState));
        dribbling.Send("GET / HT");
        QTRY_COMPARE_WITH_TIMEOUT(party.web.Waiting(), std::size_t{2}, 5000);
        QVERIFY(silent.WaitState(QTcpSocket::UnconnectedState) &&
                dribbling.WaitState(QTcpSocket::UnconnectedState) && silent.got.isEmpty());
        QTRY_COMPARE(party.web.Waiting(), std::size_t{0});
        // And the port serves on.
        QVERIFY(Get(party.WebPort(), "/").startsWith("HTTP/1.1 200 "));
    }

    void anotherOriginIsRefusedBeforeTheUpgrade() {
        WebServer party;
        QVERIFY(party.bListening);
        const QByteArray port = QByteArray::number(party.WebPort());
        const QByteArray upgrade = "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                                   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                   "Sec-WebSocket-Version: 13\r\n";
        for (const QByteArray& origin :
             {QByteArray("Origin: http://evil.example\r\n"),
              QByteArray("Origin: https://127.0.0.1:" + port + "\r\n"), QByteArray()}) {
            const QByteArray reply = Get(party.WebPort(), "/ws", upgrade + origin);
            QVERIFY2(reply.startsWith("HTTP/1.1 403 Forbidden\r\n"), reply.constData());
        }
        // From the page's own origin it upgrades.
        QVERIFY(Get(party.WebPort(), "/ws", upgrade + "Origin: http://127.0.0.1:" + port + "\r\n")
                    .startsWith("HTTP/1.1 101 "));
    }

    void aBrowserJoinsChatsDrawsAndLeavesBesideATcpPeer() {
        WebServer party;
        QVERIFY(party.bListening);
        auto ann = party.Join("ann");
        QVERIFY(ann);
        Browser web(QStringLiteral("127.0.0.1"), party.WebPort());
        QVERIFY(web.WaitOpen());
        web.Send("{2}web");
        QVERIFY(web.WaitFrame("{8}host;ann;web;"));
        // Frames are lines without their CR LF, in order.
        QCOMPARE(web.frames, (QByteArrayList{"{9}web has joined!", "{8}host;ann;web;"}));
        QCOMPARE(ann->TakeThrough("{2}web"), QByteArray("{2}web\r\n"));
        web.Send("{1}{web}hello");
        web.Send("{10}1;2;3;4;255;");
        web.Send("{11}");
        QCOMPARE(ann->TakeThrough("hello\r\n"),
                 QByteArray("{10}1;2;3;4;255;\r\n{11}\r\n{1}{web}hello\r\n"));
        ann->Send("{10}5;6;7;8;65280;\r\n{1}{ann}hi there\r\n");
        QVERIFY(web.WaitFrame("{1}{ann}hi there"));
        QVERIFY(web.frames.contains("{10}5;6;7;8;65280;") && web.frames.contains("{1}{web}hello"));
        QCOMPARE(party.server.users.Names(), (std::vector<std::string>{"host", "ann", "web"}));
        QVERIFY(party.server.Has("chat:{web}hello"));
        QCOMPARE(ann->TakeThrough("hi there\r\n"), QByteArray("{1}{ann}hi there\r\n"));
        web.socket.close();
        QCOMPARE(ann->TakeThrough("{8}"),
                 QByteArray("{9}web has been disconnected!\r\n{8}host;ann;\r\n"));
        QTRY_COMPARE(party.web.Browsers(), std::size_t{0});
        QCOMPARE(party.server.session->Bridges().Size(), std::size_t{0});
    }

    void theSessionSeesTheBrowsersOwnAddress() {
        // The accept gate's clock stands still: an address that used up its burst stays out.
        WebServer party;
        QVERIFY(party.bListening);
        party.server.state.GetTicks = [] { return 1000; };
        std::vector<std::unique_ptr<RawPeer>> crowd;
        for (int i = 0; i < zaplo::AcceptGate::kBurst; ++i) {
            crowd.push_back(std::make_unique<RawPeer>(party.Port()));
        }
        for (auto& peer : crowd) {
            QVERIFY(peer->WaitState(QTcpSocket::ConnectedState));
        }
        QTRY_COMPARE(party.server.state.nUsers, int16_t{zaplo::AcceptGate::kBurst});
        // A browser at another address joins although its bridge comes from loopback too.
        RawBrowser other(party.WebPort(), QHostAddress(QStringLiteral("127.0.0.2")));
        QVERIFY(other.WaitUpgraded());
        other.Send("{2}other");
        QVERIFY(other.WaitFrame("{9}other has joined!"));
        QCOMPARE(party.web.Bridges().size(), std::size_t{1});
        const zaplo::BrowserBridge* bridge = party.web.Bridges().front();
        QCOMPARE(party.server.session->Bridges().KeyOf(bridge->SourcePort()),
                 std::optional<std::string>(std::string("\x7f\x00\x00\x02", 4)));
        // One from the crowd's own address waits at the gate like the crowd's next would.
        Browser same(QStringLiteral("127.0.0.1"), party.WebPort());
        QVERIFY(same.WaitOpen());
        same.Send("{2}same");
        QVERIFY(!same.WaitFrame("{9}same has joined!", 1000));
        QVERIFY(!party.server.Has("status:same has joined!"));
    }

    void aBanOfTheBrowsersAddressKeepsItOutAndNobodyElse() {
        WebServer party;
        QVERIFY(party.bListening);
        QVERIFY(party.server.Host().Access().AddBan("127.0.0.2"));
        RawBrowser banned(party.WebPort(), QHostAddress(QStringLiteral("127.0.0.2")));
        QVERIFY(banned.WaitUpgraded());
        QVERIFY(banned.WaitFrame("{9}You are banned from this session."));
        banned.Send("{2}banned");
        QVERIFY(!party.server.Has("status:banned has joined!"));
        QTRY_COMPARE_WITH_TIMEOUT(party.web.Browsers(), std::size_t{0}, 10000);
        // The bridges all come from loopback, yet only that address is kept out.
        Browser other(QStringLiteral("127.0.0.1"), party.WebPort());
        QVERIFY(other.WaitOpen() && other.Join("other"));
        QCOMPARE(party.server.users.Names(), (std::vector<std::string>{"host", "other"}));
    }

    void badFramesCloseThatBrowserOnly() {
        WebServer party;
        QVERIFY(party.bListening);
        auto ann = party.Join("ann");
        QVERIFY(ann);
        Browser good(QStringLiteral("127.0.0.1"), party.WebPort());
        QVERIFY(good.WaitOpen() && good.Join("good"));
        // Line breaks inside a frame, a text frame (the empty one), a line past the bound.
        const QByteArray longLine =
            "{1}{bad}" + QByteArray(static_cast<qsizetype>(zaplo::ReceiveBuffer::kMaxLine), 'x');
        for (const QByteArray& frame :
             {QByteArray("{1}{bad}a\r\n{11}"), QByteArray("{1}{bad}a\n{11}"),
              QByteArray("{1}{bad}a\r{11}"), QByteArray(), longLine}) {
            Browser bad(QStringLiteral("127.0.0.1"), party.WebPort());
            QVERIFY2(bad.WaitOpen() && bad.Join("bad"), frame.left(12).constData());
            QVERIFY(ann->TakeThrough("{2}bad").endsWith("{2}bad\r\n"));
            frame.isEmpty() ? void(bad.socket.sendTextMessage(QStringLiteral("{11}")))
                            : void(bad.socket.sendBinaryMessage(frame));
            QVERIFY2(bad.WaitClosed(), frame.left(12).constData());
            QCOMPARE(ann->TakeThrough("{8}"),
                     QByteArray("{9}bad has been disconnected!\r\n{8}host;ann;good;\r\n"));
            // Nothing of the bad frame reached anybody, and the others are served on.
            QVERIFY(!party.server.Has("erase"));
            good.Send("{1}{good}still here");
            QCOMPARE(ann->TakeThrough("still here\r\n"), QByteArray("{1}{good}still here\r\n"));
            QVERIFY(good.WaitFrame("{1}{good}still here"));
            good.frames.clear();
        }
        QVERIFY(!good.bClosed);
    }

    void aFloodingBrowserIsPacedAndOthersKeepTheirService() {
        WebServer party;
        QVERIFY(party.bListening);
        auto ann = party.Join("ann");
        QVERIFY(ann);
        Browser flood(QStringLiteral("127.0.0.1"), party.WebPort());
        Browser calm(QStringLiteral("127.0.0.1"), party.WebPort());
        QVERIFY(flood.WaitOpen() && calm.WaitOpen() && flood.Join("flood") && calm.Join("calm"));
        // Far more than anybody takes at once: the flood has to wait at its own socket.
        constexpr int kLines = 200000;
        const QByteArray pad(100, 'p');
        for (int i = 0; i < kLines; ++i) {
            flood.Send("{10}" + QByteArray::number(i % 500) + ";2;3;4;255;" + pad);
        }
        QVERIFY(QTest::qWaitFor(
            [&] { return !party.web.Bridges().empty() && party.web.Bridges()[0]->BrowserHeld(); },
            10000));
        // What waits for the session at the bridge stays bounded meanwhile.
        QVERIFY(party.web.Bridges()[0]->ToSession() <=
                zaplo::BrowserBridge::kSessionMark +
                    2 * static_cast<qint64>(zaplo::ReceiveBuffer::kMaxLine));
        calm.Send("{1}{calm}between");
        QVERIFY(QTest::qWaitFor([&] { return ann->got.contains("{1}{calm}between\r\n"); }, 10000));
        // The calm line went by while most of the flood was still held back.
        QVERIFY(ann->got.count("{10}") < kLines / 2);
        QVERIFY(flood.socket.bytesToWrite() > 0 && !flood.bClosed && !calm.bClosed);
    }

    void aBrowserThatStopsReadingIsCut() {
        WebServer party;
        QVERIFY(party.bListening);
        auto ann = party.Join("ann");
        auto bob = party.Join("bob");
        QVERIFY(ann && bob);
        RawBrowser still(party.WebPort());
        QVERIFY(still.WaitUpgraded());
        still.Send("{2}still");
        QVERIFY(QTest::qWaitFor([&] { return party.server.Has("status:still has joined!"); }));
        QVERIFY(ann->TakeThrough("{2}still").endsWith("{2}still\r\n"));
        // Ann draws on and on; bob keeps up, the still browser takes nothing.
        QByteArray lines;
        for (int i = 0; i < 2000; ++i) {
            lines += "{10}" + QByteArray::number(i % 500) + ";2;3;4;255;" + QByteArray(200, 'p') +
                     "\r\n";
        }
        QVERIFY(QTest::qWaitFor(
            [&] {
                if (ann->socket.bytesToWrite() < 64 * 1024) {
                    ann->Send(lines);
                }
                bob->got.clear();
                return party.server.Has("status:still has been disconnected!");
            },
            30000));
        QVERIFY(ann->TakeThrough("{9}still has been disconnected!")
                    .contains("{9}still has been disconnected!\r\n"));
        // Its browser connection goes too (seen once it reads again), and nothing of it stays.
        QTRY_COMPARE_WITH_TIMEOUT(party.web.Browsers(), std::size_t{0}, 15000);
        QVERIFY(QTest::qWaitFor(
            [&] {
                still.socket.readAll();
                return still.socket.state() == QAbstractSocket::UnconnectedState;
            },
            15000));
        QCOMPARE(party.server.session->Bridges().Size(), std::size_t{0});
    }

    void overTlsWhenTheSessionHasACertificateEvenWhereItRequiresTls() {
        TestCertificates certificates;
        if (!TestCertificates::Available() || !certificates.SelfSigned(QStringLiteral("web"))) {
            QSKIP("no openssl command to make a certificate with");
        }
        WebServer party([&](zaplo::AppState& state) {
            state.szTlsCert = certificates.Cert(QStringLiteral("web")).toStdString();
            state.szTlsKey = certificates.Key(QStringLiteral("web")).toStdString();
            state.bRequireTls = true;
        });
        QVERIFY(party.bListening && party.web.Secure());
        // The page over TLS, with its headers.
        QSslSocket page;
        QObject::connect(&page, &QSslSocket::sslErrors, &page,
                         [&page](const QList<QSslError>&) { page.ignoreSslErrors(); });
        QByteArray reply;
        QObject::connect(&page, &QSslSocket::readyRead, &page, [&] { reply += page.readAll(); });
        page.connectToHostEncrypted(QStringLiteral("127.0.0.1"), party.WebPort());
        QVERIFY(QTest::qWaitFor([&] { return page.isEncrypted(); }, 10000));
        page.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(QTest::qWaitFor([&] { return page.state() == QAbstractSocket::UnconnectedState; },
                                10000));
        QVERIFY(reply.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(reply.contains("\r\nX-Frame-Options: DENY\r\n"));
        QCOMPARE(Body(reply), Resource(QStringLiteral("index.html")));
        // A browser over wss:// joins the session that turns plain TCP peers away.
        QWebSocket web(QStringLiteral("https://127.0.0.1:%1").arg(party.WebPort()));
        QObject::connect(&web, &QWebSocket::sslErrors, &web,
                         [&web](const QList<QSslError>&) { web.ignoreSslErrors(); });
        QByteArrayList frames;
        QObject::connect(&web, &QWebSocket::binaryMessageReceived, &web,
                         [&](const QByteArray& frame) { frames << frame; });
        web.open(QUrl(QStringLiteral("wss://127.0.0.1:%1/ws").arg(party.WebPort())));
        QVERIFY(
            QTest::qWaitFor([&] { return web.state() == QAbstractSocket::ConnectedState; }, 10000));
        web.sendBinaryMessage("{2}secure");
        QVERIFY(QTest::qWaitFor([&] { return frames.contains("{8}host;secure;"); }, 10000));
        QCOMPARE(frames.first(), QByteArray("{9}secure has joined!"));
        // Plain http on the TLS web port gets no page.
        RawPeer plain(party.WebPort());
        QVERIFY(plain.WaitState(QTcpSocket::ConnectedState));
        plain.Send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(plain.WaitState(QTcpSocket::UnconnectedState) && !plain.got.contains("200 OK"));
    }
};

QTEST_GUILESS_MAIN(WebGatewayTest)
#include "tst_WebGateway.moc"
