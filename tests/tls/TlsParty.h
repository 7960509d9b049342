// SPDX-License-Identifier: MIT
#pragma once
// What the TLS tests share: servers with certificates made for the run, raw TLS peers that speak
// the wire protocol byte for byte, and a data folder of the test's own for remembered
// certificates.
#include "tests/support/HeadlessHost.h"
#include "tests/support/RawPeer.h"
#include "tests/support/TestCertificates.h"

#include <QSslSocket>
#include <QTemporaryDir>

#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A server session that also serves TLS with the named certificate (its chain file with
// bChain).
inline std::unique_ptr<HeadlessHost> TlsServer(const TestCertificates& certs, const QString& name,
                                               int16_t nPort = 0, bool bRequire = false,
                                               bool bChain = false) {
    auto server = std::make_unique<HeadlessHost>(0, "host", nPort != 0 ? nPort : FreeLowPort());
    server->state.szTlsCert = (bChain ? certs.Chain(name) : certs.Cert(name)).toStdString();
    server->state.szTlsKey = certs.Key(name).toStdString();
    server->state.bRequireTls = bRequire;
    server->Start();
    return server;
}

// A client session over TLS to server.
inline std::unique_ptr<HeadlessHost> TlsClient(const HeadlessHost& server, const char* szNick,
                                               const std::string& szPin = {}) {
    auto client = std::make_unique<HeadlessHost>(1, szNick, server.state.nPort);
    client->state.bTls = true;
    client->state.szTlsFingerprint = szPin;
    return client;
}

// A bare TLS client that takes any certificate; keeps what it receives in `got` while bReading.
// With nRcvBuf its system buffer is that small, for a peer that stops reading.
class TlsPeer {
public:
    explicit TlsPeer(uint16_t nPort, int nRcvBuf = 0) {
        QObject::connect(&socket, &QSslSocket::readyRead, &socket, [this] {
            if (bReading) {
                got += socket.readAll();
            }
        });
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (nRcvBuf > 0) {
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &nRcvBuf, sizeof nRcvBuf);
            socket.setReadBufferSize(nRcvBuf);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(nPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            !socket.setSocketDescriptor(fd)) {
            ::close(fd);
            return;
        }
        socket.startClientEncryption();
    }
    bool WaitEncrypted() {
        return QTest::qWaitFor([this] { return socket.isEncrypted(); }, 10000);
    }
    // Joins as szNick and takes off the answer.
    bool Join(const QByteArray& szNick) {
        if (!WaitEncrypted()) {
            return false;
        }
        Send("{2}" + szNick + "\r\n");
        return TakeThrough("{8}").endsWith(";\r\n");
    }
    QByteArray TakeThrough(const QByteArray& szText, int nMs = 5000) {
        (void)QTest::qWaitFor([&] { return got.contains(szText) && got.endsWith("\r\n"); }, nMs);
        return std::exchange(got, {});
    }
    void Send(const QByteArray& szData) {
        socket.write(szData);
        socket.flush();
    }

    QSslSocket socket;
    QByteArray got;
    bool bReading = true;
};
