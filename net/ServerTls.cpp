// SPDX-License-Identifier: MIT
#include "net/ServerTls.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>

#include <utility>

namespace zaplo {

namespace {

std::optional<QSslKey> ReadKey(const QByteArray& pem) {
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull()) {
            return key;
        }
    }
    return std::nullopt;
}

} // namespace

bool ServerTls::Available() {
    return QSslSocket::supportsSsl();
}

std::string ServerTls::CheckArguments(const std::string& szCertFile, const std::string& szKeyFile,
                                      bool bRequire) {
    if (szCertFile.empty() != szKeyFile.empty()) {
        return szCertFile.empty() ? "--tls-key needs --tls-cert" : "--tls-cert needs --tls-key";
    }
    if (szCertFile.empty()) {
        return bRequire ? "--require-tls needs --tls-cert and --tls-key" : "";
    }
    for (const auto& [szOption, szFile] :
         {std::pair{"--tls-cert", &szCertFile}, std::pair{"--tls-key", &szKeyFile}}) {
        const QFileInfo file(QString::fromStdString(*szFile));
        if (!file.isFile() || !file.isReadable()) {
            return std::string(szOption) + ": cannot read " + *szFile;
        }
    }
    return {};
}

std::optional<QSslConfiguration>
ServerTls::Load(const std::string& szCertFile, const std::string& szKeyFile, std::string& szError) {
    if (!Available()) {
        szError = "this build has no TLS library (OpenSSL) to use";
        return std::nullopt;
    }
    const QString certPath = QString::fromStdString(szCertFile);
    QFile certFile(certPath);
    if (!certFile.open(QIODevice::ReadOnly)) {
        szError = "cannot read " + szCertFile + ": " + certFile.errorString().toStdString();
        return std::nullopt;
    }
    // The server's own certificate first, then whatever vouches for it, as in a full chain.
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        szError = szCertFile + " holds no PEM certificate";
        return std::nullopt;
    }
    QFile keyFile(QString::fromStdString(szKeyFile));
    if (!keyFile.open(QIODevice::ReadOnly)) {
        szError = "cannot read " + szKeyFile + ": " + keyFile.errorString().toStdString();
        return std::nullopt;
    }
    const std::optional<QSslKey> key = ReadKey(keyFile.readAll());
    if (!key) {
        szError = szKeyFile + " holds no PEM private key without a passphrase (RSA or EC)";
        return std::nullopt;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(*key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    if (!Trial(config, szError)) {
        while (!szError.empty() && (szError.back() == ' ' || szError.back() == ':')) {
            szError.pop_back();
        }
        szError = szCertFile + " and " + szKeyFile +
                  " do not work together (is the key the certificate's own?): " + szError;
        return std::nullopt;
    }
    return config;
}

bool ServerTls::Trial(const QSslConfiguration& config, std::string& szError) {
    QSslServer server;
    server.setSslConfiguration(config);
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        // No loopback to try on: the first client finds out.
        return true;
    }
    QSslSocket client;
    client.setPeerVerifyMode(QSslSocket::VerifyNone);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool bOk = false;
    QObject::connect(&client, &QSslSocket::encrypted, &loop, [&] {
        bOk = true;
        loop.quit();
    });
    QObject::connect(&client, &QAbstractSocket::errorOccurred, &loop, [&] {
        szError = client.errorString().toStdString();
        loop.quit();
    });
    QObject::connect(&server, &QSslServer::errorOccurred, &loop,
                     [&](QSslSocket* socket, QAbstractSocket::SocketError) {
                         szError = socket->errorString().toStdString();
                         loop.quit();
                     });
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        szError = "no handshake in time";
        loop.quit();
    });
    limit.start(kTrialMs);
    client.connectToHostEncrypted(QStringLiteral("127.0.0.1"), server.serverPort());
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    client.abort();
    return bOk;
}

} // namespace zaplo
