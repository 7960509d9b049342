// SPDX-License-Identifier: MIT
#pragma once

#include "base/CertificateNote.h"
#include "base/LinkTimeouts.h"
#include "net/CertificateTrust.h"
#include "net/KnownHosts.h"

#include <QList>
#include <QSslConfiguration>
#include <QSslError>

#include <memory>
#include <optional>
#include <string>

class QSslCertificate;

namespace zaplo {

class AppState;
class TlsServerContext;

// What a session's sockets are set up with: when a link to a vanished peer is given up, and TLS
// where it was asked for. Taken from the AppState when the session starts listening (server) or
// connecting (client); the sockets look at it for every connection.
class LinkSettings {
public:
    // Server: how long a refused plain client has to read its line.
    static constexpr int kRefusalLingerMs = 2000;
    // The one line a plain client gets where TLS is required.
    static const std::string& RefusalLine();

    LinkTimeouts timeouts;

    // Server: reads the certificate and key if the state names them. False, with szError, when
    // they are named but unusable.
    bool LoadServer(const AppState& state, std::string& szError);
    bool ServesTls() const { return serverTls_.has_value(); }
    bool RequiresTls() const { return bRequireTls_; }
    const QSslConfiguration& ServerTls() const { return *serverTls_; }
    // The same certificate and key, for the TLS sessions of accepted connections.
    const std::shared_ptr<const TlsServerContext>& ServerContext() const { return serverContext_; }

    // Client: whether and how to join over TLS; remembered certificates are read here.
    void LoadClient(const AppState& state);
    bool JoinsTls() const { return bJoinTls_; }
    // Decides on the certificate szHost:nPort offers (errors: the system store's objections),
    // filling note for the user when it is not simply taken.
    CertificateTrust::Verdict Check(const QSslCertificate& certificate,
                                    const QList<QSslError>& errors, CertificateNote& note) const;
    // The user accepted note's certificate: kept for its host from now on, on disk too. False
    // when the file could not be written (it is still taken for this run).
    bool Remember(const CertificateNote& note);

    // Where accepted certificates are kept: known_hosts in the user's data folder for the
    // program.
    static QString KnownHostsPath();

private:
    std::optional<QSslConfiguration> serverTls_;
    std::shared_ptr<const TlsServerContext> serverContext_;
    bool bRequireTls_ = false;
    bool bJoinTls_ = false;
    std::string szHostKey_;
    std::string szPinned_;
    KnownHosts known_;
};

} // namespace zaplo
