// SPDX-License-Identifier: MIT
#pragma once

#include "server/BanFile.h"

#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zaplo {

// The headless server's command line:
//   zaplo-server [--port PORT] [--nick NAME] [--listen ADDRESS] [--send-picture]
//                [--tls-cert FILE --tls-key FILE [--require-tls]] [--web PORT]
//                [--password-file FILE] [--ban-file FILE] [--max-users N]
//                [--max-per-address N] [--control-socket PATH]
//   zaplo-server [--control-socket PATH] --control COMMAND [ARGUMENT...]
//   zaplo-server --help | --version
// Port and nickname pass the connection dialog's own checks; the listen address must be an IP
// address (empty: every address). The password file is read here; the ban file too, but its
// lines are judged by the session, which knows what an address is.
class ServerOptions {
public:
    enum class Action { Run, Control, Help, Version, Fail };
    static constexpr const char* kDefaultNick = "host";
    // An honest class of thirty behind one address joins with room to spare.
    static constexpr int kDefaultMaxPerAddress = 64;
    static constexpr int kMaxCount = 32767;

    // arguments as QCoreApplication::arguments() gives them, the program's name first.
    static ServerOptions Parse(const QStringList& arguments);

    Action action = Action::Run;
    int16_t nPort = 0;
    std::string szNick;
    std::string szListen;
    // Keep the canvas and send it to each newcomer after its join's answer.
    bool bSendPicture = false;
    // TLS on the same port (empty: plain only), and plain clients turned away.
    std::string szTlsCert;
    std::string szTlsKey;
    bool bRequireTls = false;
    // The session password (none: open), and the file it came from.
    std::optional<std::string> szPassword;
    std::string szPasswordFile;
    // Refused from the start: the ban file's entries, still to be judged.
    std::string szBanFile;
    std::vector<BanFile::Entry> bans;
    // 0: no limit.
    int nMaxUsers = 0;
    int nMaxPerAddress = kDefaultMaxPerAddress;
    // The control socket; empty: the default place.
    std::string szControlSocket;
    // Control: the command's words.
    std::vector<std::string> control;
    // Serves the page with which a browser joins on this TCP port (0: none).
    uint16_t nWebPort = 0;
    // Help, Version: the text to print; Fail: the one-line reason, without the program's name.
    std::string szText;
};

} // namespace zaplo
