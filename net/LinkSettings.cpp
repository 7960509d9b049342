// SPDX-License-Identifier: MIT
#include "net/LinkSettings.h"

#include "base/AppState.h"
#include "net/ServerTls.h"
#include "net/TlsServerContext.h"
#include "net/core/MessageCode.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSslCertificate>
#include <QStandardPaths>

namespace zaplo {

namespace {

// Remembered certificates are read back at most this long.
constexpr qint64 kMaxStoreBytes = 2 * 1024 * 1024;

std::string Text(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace

const std::string& LinkSettings::RefusalLine() {
    static const std::string szLine = std::string(WireCode(MessageCode::Status)) +
                                      "This session needs an encrypted connection." +
                                      std::string(kCrLf);
    return szLine;
}

bool LinkSettings::LoadServer(const AppState& state, std::string& szError) {
    timeouts = state.linkTimeouts;
    serverTls_.reset();
    serverContext_.reset();
    bRequireTls_ = false;
    if (state.szTlsCert.empty() && state.szTlsKey.empty()) {
        return true;
    }
    serverTls_ = ServerTls::Load(state.szTlsCert, state.szTlsKey, szError);
    if (serverTls_) {
        serverContext_ = TlsServerContext::Create(*serverTls_, szError);
        if (!serverContext_) {
            szError = state.szTlsCert + " and " + state.szTlsKey + ": " + szError;
            serverTls_.reset();
        }
    }
    bRequireTls_ = serverTls_.has_value() && state.bRequireTls;
    return serverTls_.has_value();
}

void LinkSettings::LoadClient(const AppState& state) {
    timeouts = state.linkTimeouts;
    bJoinTls_ = state.bTls || !state.szTlsFingerprint.empty();
    szHostKey_ = KnownHosts::Key(state.szServerIP, state.nPort);
    szPinned_.clear();
    if (!state.szTlsFingerprint.empty()) {
        // A pin that is no fingerprint matches nothing rather than nothing being pinned.
        szPinned_ = CertificateTrust::ReadFingerprint(state.szTlsFingerprint)
                        .value_or("not a fingerprint: " + state.szTlsFingerprint);
    }
    known_ = KnownHosts();
    if (!bJoinTls_) {
        return;
    }
    QFile file(KnownHostsPath());
    if (file.open(QIODevice::ReadOnly)) {
        known_ = KnownHosts::Parse(file.read(kMaxStoreBytes).toStdString());
    }
}

CertificateTrust::Verdict LinkSettings::Check(const QSslCertificate& certificate,
                                              const QList<QSslError>& errors,
                                              CertificateNote& note) const {
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256);
    note = CertificateNote();
    note.szHost = szHostKey_;
    note.szStore = Text(QDir::toNativeSeparators(KnownHostsPath()));
    note.szFingerprint = CertificateTrust::FormatFingerprint(
        std::string_view(digest.constData(), static_cast<std::size_t>(digest.size())));
    const std::optional<std::string> szKnown = known_.Find(szHostKey_);
    const CertificateTrust::Verdict verdict =
        CertificateTrust::Decide(errors.isEmpty(), note.szFingerprint, szPinned_, szKnown);
    note.kind = verdict == CertificateTrust::Verdict::Changed     ? CertificateNote::Kind::Changed
                : verdict == CertificateTrust::Verdict::NotPinned ? CertificateNote::Kind::NotPinned
                                                                  : CertificateNote::Kind::Ask;
    note.szKnown =
        verdict == CertificateTrust::Verdict::NotPinned ? szPinned_ : szKnown.value_or("");
    note.szSubject = Text(certificate.subjectDisplayName());
    note.szIssuer = Text(certificate.issuerDisplayName());
    note.szValidity =
        Text(certificate.effectiveDate().toUTC().toString(Qt::ISODate) + QStringLiteral(" to ") +
             certificate.expiryDate().toUTC().toString(Qt::ISODate));
    for (const QSslError& error : errors) {
        note.szProblems += (note.szProblems.empty() ? "" : "\n") + Text(error.errorString());
    }
    return verdict;
}

bool LinkSettings::Remember(const CertificateNote& note) {
    known_.Set(note.szHost, note.szFingerprint);
    const QString path = KnownHostsPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    // The file as it is now (another copy of the program may have added to it), plus this one.
    KnownHosts onDisk;
    QFile current(path);
    if (current.open(QIODevice::ReadOnly)) {
        onDisk = KnownHosts::Parse(current.read(kMaxStoreBytes).toStdString());
        current.close();
    }
    onDisk.Set(note.szHost, note.szFingerprint);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const std::string szText = onDisk.Text();
    file.write(szText.data(), static_cast<qint64>(szText.size()));
    return file.commit();
}

QString LinkSettings::KnownHostsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/known_hosts");
}

} // namespace zaplo
