// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

namespace zaplo {

class AppState;

// The program's command line:
//   zaplo                                   the start screen, as always
//   zaplo --host PORT [--nick NAME] [--tls-cert FILE --tls-key FILE [--require-tls]]
//         [--password-file FILE] [--max-users N]
//                                           straight into a server session
//   zaplo --join HOST[:PORT] [--nick NAME] [--tls] [--tls-fingerprint SHA256]
//         [--password-file FILE]
//                                           straight into a client session
//   zaplo --help | --version
// The values pass the connection dialog's own checks. Read before any window system is needed,
// so help, version and mistakes work without a display.
class CommandLine {
public:
    enum class Action { Start, Host, Join, Help, Version, Fail };

    // arguments as the process got them, the program's name first.
    static CommandLine Parse(const QStringList& arguments);

    // For Host and Join: the mode, port, nickname and server address of the session, as the
    // dialog's OK stores them.
    void Apply(AppState& state) const;

    Action action = Action::Start;
    int16_t nPort = 0;
    std::string szNick;
    std::string szServerIP;
    // TLS (all empty or false: plain TCP). Host: certificate and key files, plain clients
    // refused; join: over TLS, with the server's certificate pinned (normalised).
    std::string szTlsCert;
    std::string szTlsKey;
    bool bRequireTls = false;
    bool bTls = false;
    std::string szTlsFingerprint;
    // The session's password (host) or the one to answer with (join): the first line of the
    // --password-file; none without it.
    std::optional<std::string> szSessionPassword;
    // Host: the most clients joined at once; 0 for no limit.
    int nMaxUsers = 0;
    // Help, Version: the text to print; Fail: the one-line reason, without the program's name.
    std::string szText;
};

} // namespace zaplo
