#pragma once

#include <QStringList>

#include <cstdint>
#include <string>

namespace zaplo {

// The headless server's command line:
//   zaplo-server [--port PORT] [--nick NAME] [--listen ADDRESS] [--send-picture]
//                [--tls-cert FILE --tls-key FILE [--require-tls]] [--web PORT]
//                | --help | --version
// Port and nickname pass the connection dialog's own checks; the listen address must be an IP
// address (empty: every address).
class ServerOptions {
public:
    enum class Action { Run, Help, Version, Fail };
    static constexpr const char* kDefaultNick = "host";

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
    // Serves the page with which a browser joins on this TCP port (0: none).
    uint16_t nWebPort = 0;
    // Help, Version: the text to print; Fail: the one-line reason, without the program's name.
    std::string szText;
};

} // namespace zaplo
