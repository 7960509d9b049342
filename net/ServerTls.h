// SPDX-License-Identifier: MIT
#pragma once

#include <QSslConfiguration>

#include <optional>
#include <string>

namespace zaplo {

// The server's side of TLS: its certificate, the chain that goes with it and its private key,
// from PEM files (a Let's Encrypt fullchain.pem and privkey.pem as they are). Tried once on a
// loopback handshake before the first client comes, so a key that does not belong to the
// certificate, or one the TLS library cannot use, is told at the start rather than by every
// client's failed join.
class ServerTls {
public:
    // How long the trial handshake may take.
    static constexpr int kTrialMs = 5000;

    // The configuration to answer TLS clients with; nullopt with szError set when the files
    // cannot be read or do not work together.
    static std::optional<QSslConfiguration>
    Load(const std::string& szCertFile, const std::string& szKeyFile, std::string& szError);
    // Whether this build can do TLS at all (the TLS library was found).
    static bool Available();
    // The command line's check of --tls-cert, --tls-key and --require-tls (empty: not given):
    // both files or neither, readable, and TLS required only with them. Empty when fine, else
    // the one-line reason.
    static std::string CheckArguments(const std::string& szCertFile, const std::string& szKeyFile,
                                      bool bRequire);

private:
    static bool Trial(const QSslConfiguration& config, std::string& szError);
};

} // namespace zaplo
