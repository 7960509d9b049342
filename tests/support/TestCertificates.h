// SPDX-License-Identifier: MIT
#pragma once
// Certificates made for one test run with the openssl command, in a folder of their own: a
// self-signed one as a host without a domain makes it, or a small authority and a certificate
// it signed (with the chain file a host would get).
#include "net/CertificateTrust.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

class TestCertificates {
public:
    // False when there is no openssl command to make them with.
    static bool Available() {
        return !QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty();
    }

    QString Cert(const QString& name) const { return dir_.filePath(name + QStringLiteral(".crt")); }
    QString Key(const QString& name) const { return dir_.filePath(name + QStringLiteral(".key")); }
    // Certificate, then the authority's: what a host is given as its full chain.
    QString Chain(const QString& name) const {
        return dir_.filePath(name + QStringLiteral(".chain"));
    }

    // A self-signed EC certificate for 127.0.0.1 and localhost.
    bool SelfSigned(const QString& name) {
        return Run({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                    QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                    QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-nodes"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=") + name, QStringLiteral("-addext"),
                    QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost"),
                    QStringLiteral("-keyout"), Key(name), QStringLiteral("-out"), Cert(name)});
    }
    // An authority, and a certificate for 127.0.0.1 signed by it.
    bool Signed(const QString& name, const QString& authority) {
        const QString request = dir_.filePath(name + QStringLiteral(".csr"));
        const QString extensions = dir_.filePath(name + QStringLiteral(".ext"));
        QFile ext(extensions);
        if (!SelfSigned(authority) || !ext.open(QIODevice::WriteOnly) ||
            ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n") < 0) {
            return false;
        }
        ext.close();
        const bool bOk =
            Run({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                 QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"),
                 QStringLiteral("-nodes"), QStringLiteral("-subj"), QStringLiteral("/CN=") + name,
                 QStringLiteral("-keyout"), Key(name), QStringLiteral("-out"), request}) &&
            Run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                 QStringLiteral("-CA"), Cert(authority), QStringLiteral("-CAkey"), Key(authority),
                 QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
                 QStringLiteral("-extfile"), extensions, QStringLiteral("-out"), Cert(name)});
        QFile chain(Chain(name));
        QFile leaf(Cert(name));
        QFile top(Cert(authority));
        return bOk && chain.open(QIODevice::WriteOnly) && leaf.open(QIODevice::ReadOnly) &&
               top.open(QIODevice::ReadOnly) && chain.write(leaf.readAll() + top.readAll()) > 0;
    }

    // The fingerprint the program shows for the certificate in file.
    static std::string Fingerprint(const QString& file) {
        const QList<QSslCertificate> certificates = QSslCertificate::fromPath(file);
        if (certificates.isEmpty()) {
            return {};
        }
        const QByteArray digest = certificates.first().digest(QCryptographicHash::Sha256);
        return zaplo::CertificateTrust::FormatFingerprint(
            std::string_view(digest.constData(), static_cast<std::size_t>(digest.size())));
    }

private:
    bool Run(const QStringList& arguments) {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"), arguments);
        return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit &&
               openssl.exitCode() == 0;
    }

    QTemporaryDir dir_;
};
