// SPDX-License-Identifier: MIT
// TLS on the server and client links: sessions in one process over 127.0.0.1, certificates made
// by the openssl command for the run.
#include "tests/tls/TlsParty.h"

#include "net/ClientLink.h"
#include "net/LinkSettings.h"
#include "net/ReadScheduler.h"
#include "net/ServerLink.h"
#include "net/TcpSocket.h"
#include "net/core/ReceiveBuffer.h"

#include <QFile>
#include <QSslConfiguration>
#include <QTimer>

#include <algorithm>

namespace {

using zaplo::CertificateNote;

// Records numbered 0..nCount-1, each about 20 bytes.
QByteArray Numbered(int nCount) {
    QByteArray lines;
    for (int i = 0; i < nCount; ++i) {
        lines += "{10}" + QByteArray::number(i % 30000) + ";" + QByteArray::number(i / 30000) +
                 ";0;0;0;\r\n";
    }
    return lines;
}

// How many numbered records arrived in order from the first; -1 on a gap or a repeat.
int InOrder(const QByteArray& got) {
    int nNext = 0;
    for (qsizetype pos = got.indexOf("{10}"); pos >= 0; pos = got.indexOf("{10}", pos + 4)) {
        const QByteArray line = got.mid(pos + 4, got.indexOf("\r\n", pos) - pos - 4);
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() >= 5 && line.endsWith(";0;0;0;") &&
            fields[0].toInt() + 30000 * fields[1].toInt() != nNext++) {
            return -1;
        }
    }
    return nNext;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The bound of the plain flow tests: read-ahead, one pass's read with an unfinished line, the
// unsent output up to its cut-off and the message that crosses it.
constexpr qint64 kHeldBound = zaplo::TcpSocket::kReadAhead + zaplo::ReadScheduler::kReadBudget +
                              2 * qint64{zaplo::ReceiveBuffer::kMaxLine} +
                              zaplo::ServerLink::kMaxUnsent;

} // namespace

class TlsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (!TestCertificates::Available() || !QSslSocket::supportsSsl()) {
            QSKIP("needs the openssl command and Qt's OpenSSL backend");
        }
        // Remembered certificates go to a folder of this run, never the user's.
        QVERIFY(data_.isValid());
        qputenv("XDG_DATA_HOME", data_.path().toUtf8());
        QVERIFY(certs_.SelfSigned(QStringLiteral("first")));
        QVERIFY(certs_.SelfSigned(QStringLiteral("second")));
        QVERIFY(certs_.Signed(QStringLiteral("leaf"), QStringLiteral("authority")));
    }

    void tlsAndPlainClientsShareOneSession() {
        auto server = TlsServer(certs_, QStringLiteral("first"));
        QVERIFY(server->session->ListeningPort() != 0);
        auto ann = TlsClient(*server, "ann", Pin(QStringLiteral("first")));
        HeadlessHost bob(1, "bob", server->state.nPort);
        ann->Start();
        bob.Start();
        TlsPeer raw(server->session->ListeningPort());
        QVERIFY(raw.Join("raw"));
        QTRY_COMPARE(ann->UserRows(), (Lines{"host", "ann", "bob", "raw"}));
        QTRY_COMPARE(bob.UserRows(), (Lines{"host", "ann", "bob", "raw"}));
        ann->Queue(zaplo::MessageCode::Chat, "{ann}over tls");
        bob.Queue(zaplo::MessageCode::Draw, "1;2;3;4;255;");
        raw.Send("{1}{raw}hi\r\n");
        QTRY_VERIFY(bob.Has("chat:{ann}over tls") && bob.Has("chat:{raw}hi"));
        QTRY_VERIFY(ann->Has("chat:{ann}over tls") && ann->Has("chat:{raw}hi"));
        QTRY_COMPARE(ann->draws.size(), std::size_t{1});
        // The same lines as over plain TCP, once decrypted (relays and echoes in their own
        // order).
        QTRY_VERIFY(raw.got.contains("{1}{ann}over tls\r\n") &&
                    raw.got.contains("{1}{raw}hi\r\n") && raw.got.contains("{10}1;2;3;4;255;\r\n"));
        QList<QByteArray> lines = raw.got.split('\n');
        std::sort(lines.begin(), lines.end());
        QCOMPARE(lines, (QList<QByteArray>{"", "{10}1;2;3;4;255;\r", "{1}{ann}over tls\r",
                                           "{1}{raw}hi\r"}));
        server.reset();
        QTRY_VERIFY(ann->Has("status:Lost connection to server!"));
        QVERIFY(!ann->Has("failed"));
    }

    void requiredTlsTurnsPlainClientsAwayWithOneLine() {
        auto server = TlsServer(certs_, QStringLiteral("first"), 0, true);
        server->state.linkTimeouts.nOpeningMs = 300;
        server->session->CloseSlot(0);
        server->session->ServerWait(); // listening again, with the short opening wait
        const uint16_t nPort = server->session->ListeningPort();
        auto ann = TlsClient(*server, "ann", Pin(QStringLiteral("first")));
        ann->Start();
        QTRY_COMPARE(server->UserRows(), (Lines{"host", "ann"}));

        // A plain join, a plain client that says nothing, and the program's own plain client.
        RawPeer plain(nPort);
        RawPeer silent(nPort);
        QVERIFY(plain.WaitState(QTcpSocket::ConnectedState));
        plain.Send("{2}bob\r\n");
        HeadlessHost cy(1, "cy", server->state.nPort);
        cy.Start();
        QVERIFY(plain.WaitState(QTcpSocket::UnconnectedState));
        QCOMPARE(plain.got, QByteArray::fromStdString(zaplo::LinkSettings::RefusalLine()));
        QVERIFY(silent.WaitState(QTcpSocket::UnconnectedState));
        QCOMPARE(silent.got, plain.got);
        QTRY_VERIFY(cy.Has("status:Lost connection to server!"));
        QCOMPARE(cy.log, (Lines{"status:Connecting...",
                                "status:This session needs an encrypted connection.",
                                "status:Lost connection to server!"}));
        // Nobody else heard of them.
        QCOMPARE(server->UserRows(), (Lines{"host", "ann"}));
        QVERIFY(!ann->Has("status:bob has joined!") && !ann->Has("status:cy has joined!"));
        QCOMPARE(ann->Count("status:ann has joined!"), 1);
    }

    void passwordAndAddressCapHoldOnAPortThatAlsoServesTls() {
        // A connection there is accepted before its first bytes tell plain from TLS: its
        // challenge and the cap wait until it is up, and are neither lost nor skipped.
        auto server = std::make_unique<HeadlessHost>(0, "host", FreeLowPort());
        server->state.szTlsCert = certs_.Cert(QStringLiteral("first")).toStdString();
        server->state.szTlsKey = certs_.Key(QStringLiteral("first")).toStdString();
        server->state.szSessionPassword = "open sesame";
        server->state.linkTimeouts.nOpeningMs = 300;
        server->Start();
        server->Host().Access().SetMaxPerAddress(2);
        auto ann = TlsClient(*server, "ann", Pin(QStringLiteral("first")));
        ann->state.szSessionPassword = "open sesame";
        ann->Start();
        QTRY_COMPARE(server->UserRows(), (Lines{"host", "ann"}));
        // The program's plain client says nothing until it is challenged.
        HeadlessHost bob(1, "bob", server->state.nPort);
        bob.state.szSessionPassword = "open sesame";
        bob.Start();
        QTRY_COMPARE(server->UserRows(), (Lines{"host", "ann", "bob"}));

        TlsPeer third(server->session->ListeningPort());
        QVERIFY(third.WaitEncrypted());
        QTRY_VERIFY(third.socket.state() == QAbstractSocket::UnconnectedState);
        QCOMPARE(third.got, QByteArray("{9}Too many connections from your address.\r\n"));
        QCOMPARE(server->UserRows(), (Lines{"host", "ann", "bob"}));
    }

    void certificateNobodyVouchesForIsAskedOnceThenRemembered() {
        auto server = TlsServer(certs_, QStringLiteral("first"));
        const std::string szFirst = Pin(QStringLiteral("first"));
        const std::string szHost = "127.0.0.1:" + std::to_string(server->state.nPort);
        std::vector<CertificateNote> notes;
        bool bAnswer = false;
        const auto ask = [&](const CertificateNote& note) {
            notes.push_back(note);
            return bAnswer;
        };
        // Refused: not joined, nothing kept.
        auto ann = TlsClient(*server, "ann");
        ann->state.onCertificate = ask;
        ann->Start();
        QVERIFY(ann->Has("failed"));
        QCOMPARE(notes.size(), std::size_t{1});
        QCOMPARE(notes[0].kind, CertificateNote::Kind::Ask);
        QCOMPARE(notes[0].szFingerprint, szFirst);
        QCOMPARE(notes[0].szHost, szHost);
        QCOMPARE(notes[0].szSubject, std::string("first"));
        QVERIFY(!notes[0].szProblems.empty());
        QVERIFY(!QFile::exists(zaplo::LinkSettings::KnownHostsPath()));
        // Accepted: joined, and kept; the next join is not asked.
        bAnswer = true;
        auto bob = TlsClient(*server, "bob");
        bob->state.onCertificate = ask;
        bob->Start();
        QTRY_COMPARE(server->UserRows(), (Lines{"host", "bob"}));
        QCOMPARE(notes.size(), std::size_t{2});
        const QByteArray kept = QByteArray::fromStdString(szHost + " " + szFirst + "\n");
        QCOMPARE(ReadFile(zaplo::LinkSettings::KnownHostsPath()), kept);
        auto cy = TlsClient(*server, "cy");
        cy->state.onCertificate = ask;
        cy->Start();
        QTRY_COMPARE(server->UserRows(), (Lines{"host", "bob", "cy"}));
        QCOMPARE(notes.size(), std::size_t{2});

        // Another certificate on the same host and port: refused with both fingerprints.
        const int16_t nPort = server->state.nPort;
        server.reset();
        auto other = TlsServer(certs_, QStringLiteral("second"), nPort);
        QVERIFY(other->session->ListeningPort() != 0);
        auto dee = TlsClient(*other, "dee");
        dee->state.onCertificate = ask;
        dee->Start();
        QVERIFY(dee->Has("failed"));
        QCOMPARE(notes.size(), std::size_t{3});
        QCOMPARE(notes[2].kind, CertificateNote::Kind::Changed);
        QCOMPARE(notes[2].szKnown, szFirst);
        QCOMPARE(notes[2].szFingerprint, Pin(QStringLiteral("second")));
        const std::string szRefusal = "status:" + zaplo::ClientLink::RefusalText(notes[2]);
        QVERIFY(dee->Has(szRefusal));
        QVERIFY(szRefusal.find(szFirst) != std::string::npos &&
                szRefusal.find(notes[2].szFingerprint) != std::string::npos);
        QCOMPARE(other->UserRows(), (Lines{"host"}));
        QCOMPARE(ReadFile(zaplo::LinkSettings::KnownHostsPath()), kept);
        QFile::remove(zaplo::LinkSettings::KnownHostsPath());
    }

    void trustedChainIsTakenSilentlyAndAPinStillDecides() {
        QFile::remove(zaplo::LinkSettings::KnownHostsPath());
        const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
        QSslConfiguration trusting = before;
        trusting.addCaCertificates(
            QSslCertificate::fromPath(certs_.Cert(QStringLiteral("authority"))));
        QSslConfiguration::setDefaultConfiguration(trusting);
        auto server = TlsServer(certs_, QStringLiteral("leaf"), 0, true, true);
        int nAsked = 0;
        std::vector<CertificateNote> notes;
        auto ann = TlsClient(*server, "ann");
        ann->state.onCertificate = [&](const CertificateNote& note) {
            notes.push_back(note);
            return ++nAsked > 0;
        };
        ann->Start();
        QTRY_COMPARE(server->UserRows(), (Lines{"host", "ann"}));
        QCOMPARE(nAsked, 0);
        // Pinned to another certificate: the system's word does not count then.
        auto bob = TlsClient(*server, "bob", Pin(QStringLiteral("first")));
        bob->state.onCertificate = ann->state.onCertificate;
        bob->Start();
        QSslConfiguration::setDefaultConfiguration(before);
        QVERIFY(bob->Has("failed"));
        QCOMPARE(notes.size(), std::size_t{1});
        QCOMPARE(notes[0].kind, CertificateNote::Kind::NotPinned);
        QCOMPARE(notes[0].szKnown, Pin(QStringLiteral("first")));
        QCOMPARE(notes[0].szFingerprint, Pin(QStringLiteral("leaf")));
        QVERIFY(!QFile::exists(zaplo::LinkSettings::KnownHostsPath()));
    }

    void unusableCertificateIsToldAndNothingListens() {
        auto server = std::make_unique<HeadlessHost>(0, "host", FreeLowPort());
        server->state.szTlsCert = certs_.Cert(QStringLiteral("first")).toStdString();
        server->state.szTlsKey = certs_.Key(QStringLiteral("second")).toStdString();
        server->Start();
        QCOMPARE(server->session->ListeningPort(), uint16_t{0});
        QCOMPARE(server->log.size(), std::size_t{2});
        QVERIFY(server->log[1].starts_with("status:Cannot use the TLS certificate: "));
    }

    void stalledHandshakeIsLetGo() {
        auto server = TlsServer(certs_, QStringLiteral("first"));
        server->state.linkTimeouts.nHandshakeMs = 300;
        server->session->CloseSlot(0);
        server->session->ServerWait();
        // The first bytes of a hello, then nothing.
        RawPeer stalled(server->session->ListeningPort());
        QVERIFY(stalled.WaitState(QTcpSocket::ConnectedState));
        stalled.Send(QByteArray("\x16\x03\x01\x02\x00", 5));
        QVERIFY(stalled.WaitState(QTcpSocket::UnconnectedState));
        TlsPeer ann(server->session->ListeningPort());
        QVERIFY(ann.Join("ann"));
        QCOMPARE(server->UserRows(), (Lines{"host", "ann"}));
        QCOMPARE(server->log,
                 (Lines{"status:Waiting for a client to join...",
                        "status:Waiting for a client to join...", "status:ann has joined!"}));
    }

    void hostileTlsPeersAreBoundedAsPlainOnes() {
        auto server = TlsServer(certs_, QStringLiteral("first"));
        const uint16_t nPort = server->session->ListeningPort();
        auto fast = std::make_unique<RawPeer>(nPort);
        QVERIFY(fast->WaitState(QTcpSocket::ConnectedState));
        fast->Send("{2}fast\r\n");
        QVERIFY(fast->TakeThrough("{8}").endsWith(";\r\n"));
        TlsPeer fastTls(nPort);
        TlsPeer flooder(nPort);
        TlsPeer idle(nPort, 4096);
        QVERIFY(fastTls.Join("fasttls") && flooder.Join("flood") && idle.Join("idle"));
        QTRY_COMPARE(server->users.Rows().size(), std::size_t{5});
        idle.bReading = false;
        qint64 nHeldMost = 0;
        QTimer sample;
        QObject::connect(&sample, &QTimer::timeout, [&] {
            for (int16_t i = 1; i <= server->state.nUsers; ++i) {
                nHeldMost = std::max(nHeldMost, server->session->HeldForSlot(i));
            }
        });
        sample.start(5);

        // A line far beyond the longest, then a flood: both readers get the flood whole and in
        // order, the one that stopped reading is let go, and what is held stays bounded.
        constexpr int kRecords = 200000;
        const QByteArray flood = Numbered(kRecords);
        flooder.Send(QByteArray(4 * zaplo::ReceiveBuffer::kMaxLine, 'x'));
        flooder.Send("\r\n" + flood);
        QTRY_VERIFY_WITH_TIMEOUT(server->Has("status:idle has been disconnected!"), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(InOrder(fastTls.got) == kRecords && InOrder(fast->got) == kRecords,
                                 20000);
        QVERIFY(!fastTls.got.contains("xxxx") && !fast->got.contains("xxxx"));
        QVERIFY(!server->Has("status:fasttls has been disconnected!"));
        QVERIFY(!server->Has("status:fast has been disconnected!"));
        QVERIFY2(nHeldMost <= kHeldBound, QByteArray::number(nHeldMost).constData());
        QVERIFY(nHeldMost > zaplo::ServerLink::kPaceMark); // the non-reader was seen behind
    }

private:
    std::string Pin(const QString& name) const {
        return TestCertificates::Fingerprint(certs_.Cert(name));
    }

    QTemporaryDir data_;
    TestCertificates certs_;
};

QTEST_GUILESS_MAIN(TlsTest)
#include "tst_Tls.moc"
