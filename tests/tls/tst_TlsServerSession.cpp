// SPDX-License-Identifier: MIT
// The server's TLS session over bytes alone, against a client on the TLS library over memory:
// the handshake, both directions across many records, the read-ahead bounds, the peer's close
// and a peer that sends rubbish.
#include "net/ServerTls.h"
#include "net/TlsServerContext.h"
#include "net/TlsServerSession.h"
#include "tests/support/TestCertificates.h"

#include <QSslSocket>
#include <QTest>

#include <openssl/bio.h>
#include <openssl/ssl.h>

#include <memory>
#include <string>

using zaplo::TlsServerSession;
using Phase = TlsServerSession::Phase;

namespace {

// A TLS client whose bytes go through strings, not a socket.
class MemoryClient {
public:
    MemoryClient() : ctx_(SSL_CTX_new(TLS_client_method())) {
        ssl_ = SSL_new(ctx_);
        in_ = BIO_new(BIO_s_mem());
        out_ = BIO_new(BIO_s_mem());
        BIO_set_mem_eof_return(in_, -1);
        SSL_set_bio(ssl_, in_, out_);
        SSL_set_connect_state(ssl_);
    }
    ~MemoryClient() {
        SSL_free(ssl_);
        SSL_CTX_free(ctx_);
    }
    MemoryClient(const MemoryClient&) = delete;
    MemoryClient& operator=(const MemoryClient&) = delete;

    bool Handshake() { return SSL_do_handshake(ssl_) == 1; }
    void Write(const std::string& szText) { SSL_write(ssl_, szText.data(), int(szText.size())); }
    void Close() { SSL_shutdown(ssl_); }
    std::string Read() {
        std::string szAll;
        char buffer[4096];
        int nRead = 0;
        while ((nRead = SSL_read(ssl_, buffer, sizeof buffer)) > 0) {
            szAll.append(buffer, std::size_t(nRead));
        }
        return szAll;
    }
    std::string TakeOutgoing() {
        std::string szOut(BIO_ctrl_pending(out_), '\0');
        BIO_read(out_, szOut.data(), int(szOut.size()));
        return szOut;
    }
    void Feed(const std::string& szCipher) {
        BIO_write(in_, szCipher.data(), int(szCipher.size()));
    }

private:
    SSL_CTX* ctx_;
    SSL* ssl_ = nullptr;
    BIO* in_ = nullptr;
    BIO* out_ = nullptr;
};

// Everything szCipher holds, fed in as far as the session takes it, with each step's output
// kept in szPlain (at most nMax at a time, read off in between into szRead).
void FeedAll(TlsServerSession& server, std::string szCipher, std::string& szRead,
             std::size_t nMax = 1 << 20) {
    while (true) {
        const std::size_t nTaken = server.Feed(szCipher);
        szCipher.erase(0, nTaken);
        std::string szPlain;
        server.Advance(szPlain, nMax);
        QVERIFY(szPlain.size() <= nMax);
        szRead += szPlain;
        if (nTaken == 0 && szPlain.empty()) {
            break;
        }
    }
    QVERIFY(szCipher.empty() || server.GetPhase() != Phase::Open);
}

} // namespace

class TlsServerSessionTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (!TestCertificates::Available() || !QSslSocket::supportsSsl()) {
            QSKIP("needs the openssl command and Qt's OpenSSL backend");
        }
        QVERIFY(certs_.SelfSigned(QStringLiteral("server")));
        std::string szError;
        const auto config =
            zaplo::ServerTls::Load(certs_.Cert(QStringLiteral("server")).toStdString(),
                                   certs_.Key(QStringLiteral("server")).toStdString(), szError);
        QVERIFY2(config.has_value(), szError.c_str());
        context_ = zaplo::TlsServerContext::Create(*config, szError);
        QVERIFY2(context_ != nullptr, szError.c_str());
    }

    void bothWaysAcrossManyRecordsWithinTheBounds() {
        MemoryClient client;
        TlsServerSession server(context_);
        std::string szRead;
        QVERIFY(!client.Handshake());
        FeedAll(server, client.TakeOutgoing(), szRead);
        QCOMPARE(server.GetPhase(), Phase::Handshaking);
        std::string szAnswer;
        server.TakeOutgoing(szAnswer);
        client.Feed(szAnswer);
        QVERIFY(client.Handshake());
        // Nothing may go out before the handshake is done.
        QVERIFY(!TlsServerSession(context_).Encrypt("early"));

        // Over 300 KB in records of 16 KB, read 10 KB at a time: nothing lost or reordered, and
        // never more held undecrypted than the bound.
        std::string szSent;
        for (int i = 0; szSent.size() < 300 * 1024; ++i) {
            szSent += "{5}line " + std::to_string(i) + std::string(97, 'x') + "\r\n";
        }
        client.Write(szSent);
        std::string szCipher = client.TakeOutgoing();
        QVERIFY(szCipher.size() > szSent.size());
        const std::size_t nTaken = server.Feed(szCipher);
        QVERIFY(nTaken > 0 && nTaken <= TlsServerSession::kMaxBuffered);
        QCOMPARE(server.Feed(std::string_view(szCipher).substr(nTaken)), std::size_t{0});
        szCipher.erase(0, nTaken);
        FeedAll(server, std::move(szCipher), szRead, 10 * 1024);
        QCOMPARE(server.GetPhase(), Phase::Open);
        QCOMPARE(szRead.size(), szSent.size());
        QVERIFY(szRead == szSent);

        std::string szBack(70 * 1024, 'y');
        QVERIFY(server.Encrypt(szBack));
        QVERIFY(server.Encrypt(""));
        std::string szOut;
        QVERIFY(server.TakeOutgoing(szOut) > szBack.size());
        // Taken into bytes not yet sent: they go after them.
        QVERIFY(server.Encrypt("{5}after\r\n"));
        const std::size_t nFirst = szOut.size();
        const std::size_t nAppended = server.TakeOutgoing(szOut);
        QVERIFY(nAppended > 0);
        QCOMPARE(szOut.size(), nFirst + nAppended);
        QCOMPARE(server.Outgoing(), std::size_t{0});
        client.Feed(szOut);
        QVERIFY(client.Read() == szBack + "{5}after\r\n");

        // The peer's close: what came before it is still read, then nothing goes any more.
        client.Write("{5}bye\r\n");
        client.Close();
        std::string szLast;
        FeedAll(server, client.TakeOutgoing(), szLast);
        QCOMPARE(szLast, std::string("{5}bye\r\n"));
        QCOMPARE(server.GetPhase(), Phase::Closed);
        QCOMPARE(server.Room(), std::size_t{0});
        QVERIFY(!server.Encrypt("late"));
    }

    void rubbishFailsWithAnAlertAndTakesNoMore() {
        for (const std::string& szRubbish :
             {std::string("\x16\x03\x01\x00\x05hello", 10), std::string("GET / HTTP/1.1\r\n\r\n"),
              std::string(5000, '\x16')}) {
            TlsServerSession server(context_);
            std::string szPlain;
            server.Feed(szRubbish);
            QCOMPARE(server.Advance(szPlain, 1024), Phase::Failed);
            QVERIFY(szPlain.empty());
            QVERIFY(!server.Error().empty());
            QCOMPARE(server.Room(), std::size_t{0});
            QCOMPARE(server.Feed("more"), std::size_t{0});
        }

        // A record that fails its check after a good handshake.
        MemoryClient client;
        TlsServerSession server(context_);
        std::string szRead;
        client.Handshake();
        FeedAll(server, client.TakeOutgoing(), szRead);
        std::string szAnswer;
        server.TakeOutgoing(szAnswer);
        client.Feed(szAnswer);
        QVERIFY(client.Handshake());
        FeedAll(server, client.TakeOutgoing(), szRead);
        client.Write("{5}hello\r\n");
        std::string szRecord = client.TakeOutgoing();
        szRecord[szRecord.size() - 3] ^= 0x40;
        server.Feed(szRecord);
        std::string szPlain;
        QCOMPARE(server.Advance(szPlain, 1024), Phase::Failed);
        QVERIFY(szPlain.empty());
        QVERIFY(server.Outgoing() > 0); // the alert that says why
    }

private:
    TestCertificates certs_;
    std::shared_ptr<const zaplo::TlsServerContext> context_;
};

QTEST_GUILESS_MAIN(TlsServerSessionTest)
#include "tst_TlsServerSession.moc"
