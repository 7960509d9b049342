// SPDX-License-Identifier: MIT
#include "server/ServerOptions.h"

#include "net/ServerTls.h"
#include "net/core/StartValues.h"
#include "server/PasswordFile.h"

#include <QCommandLineParser>
#include <QHostAddress>

#include <algorithm>
#include <utility>

namespace zaplo {

namespace {

ServerOptions Failed(const std::string& szReason) {
    ServerOptions options;
    options.action = ServerOptions::Action::Fail;
    options.szText = szReason;
    return options;
}

// A count of 0 (no limit) to kMaxCount, in plain decimal digits.
std::optional<int> ReadCount(const QString& szText) {
    if (szText.isEmpty() || szText.size() > 5 ||
        !std::all_of(szText.begin(), szText.end(), [](QChar ch) { return ch.isDigit(); })) {
        return std::nullopt;
    }
    const int nCount = szText.toInt();
    return nCount <= ServerOptions::kMaxCount ? std::optional<int>(nCount) : std::nullopt;
}

// The command line's options.
struct Switches {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Shows this help and ends.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Shows the version and ends.")};
    QCommandLineOption port{
        {QStringLiteral("p"), QStringLiteral("port")},
        QStringLiteral("TCP port to listen on, 1 to 32767 (default 201; below 1024 needs "
                       "CAP_NET_BIND_SERVICE)."),
        QStringLiteral("PORT")};
    QCommandLineOption nick{
        {QStringLiteral("n"), QStringLiteral("nick")},
        QStringLiteral("The host's nickname, first in the user list, at most 16 characters "
                       "(default \"host\")."),
        QStringLiteral("NAME")};
    QCommandLineOption listen{{QStringLiteral("l"), QStringLiteral("listen")},
                              QStringLiteral("IP address to listen on (default: every address)."),
                              QStringLiteral("ADDRESS")};
    QCommandLineOption sendPicture{
        QStringLiteral("send-picture"),
        QStringLiteral("Keeps the canvas and sends it to each newcomer right after its join is "
                       "answered, as ordinary draw records (default: off, no canvas kept).")};
    QCommandLineOption tlsCert{
        QStringLiteral("tls-cert"),
        QStringLiteral("Also serves TLS on the port, with this PEM certificate (a full chain as "
                       "it is, such as Let's Encrypt's fullchain.pem)."),
        QStringLiteral("FILE")};
    QCommandLineOption tlsKey{
        QStringLiteral("tls-key"),
        QStringLiteral("The certificate's PEM private key, without a passphrase."),
        QStringLiteral("FILE")};
    QCommandLineOption requireTls{
        QStringLiteral("require-tls"),
        QStringLiteral("Turns plain clients away with one status line saying that the session "
                       "needs an encrypted connection.")};
    QCommandLineOption passwordFile{
        QStringLiteral("password-file"),
        QStringLiteral("Asks every client for the password in FILE's first line; it never "
                       "crosses the network (default: no password)."),
        QStringLiteral("FILE")};
    QCommandLineOption banFile{
        QStringLiteral("ban-file"),
        QStringLiteral("Refuses the addresses and prefixes in FILE, one a line (192.0.2.7, "
                       "10.0.0.0/8, 2001:db8:1:2::/64; # comments)."),
        QStringLiteral("FILE")};
    QCommandLineOption maxUsers{
        QStringLiteral("max-users"),
        QStringLiteral("At most N joined clients; 0: no limit (the default)."),
        QStringLiteral("N")};
    QCommandLineOption maxPerAddress{
        QStringLiteral("max-per-address"),
        QStringLiteral("At most N connections from one address (IPv6: one /64); 0: no limit "
                       "(default 64)."),
        QStringLiteral("N")};
    QCommandLineOption controlSocket{
        QStringLiteral("control-socket"),
        QStringLiteral("The local control socket (default: $RUNTIME_DIRECTORY/control, else "
                       "$XDG_RUNTIME_DIR/zaplo-server/control)."),
        QStringLiteral("PATH")};
    QCommandLineOption control{
        QStringLiteral("control"),
        QStringLiteral("Gives a running zaplo-server a command and ends: who, disconnect NAME, "
                       "ban NAME, bans, unban ADDRESS, clear, say TEXT, password FILE|off, "
                       "picture on|off.")};
    QCommandLineOption web{
        QStringLiteral("web"),
        QStringLiteral("Also serves the page with which a browser joins, on this TCP port, 1 to "
                       "65535 (over TLS too when a certificate is given; default: none)."),
        QStringLiteral("PORT")};

    // In the order the help lists them.
    QList<QCommandLineOption> All() const {
        return {help,          version,       port,       nick,         listen,  sendPicture,
                tlsCert,       tlsKey,        requireTls, passwordFile, banFile, maxUsers,
                maxPerAddress, controlSocket, control,    web};
    }
};

// The help text, its usage line naming the program as it is installed, whatever path started it.
std::string HelpText(const QCommandLineParser& parser) {
    QString szHelp = parser.helpText();
    const qsizetype nUsage = QStringLiteral("Usage: ").size();
    szHelp.replace(nUsage, szHelp.indexOf(QLatin1Char(' '), nUsage) - nUsage,
                   QStringLiteral("zaplo-server"));
    return szHelp.toStdString();
}

// Port, nickname, listen address, the picture for newcomers and TLS; why they are wrong, or
// nothing.
std::string ReadSession(const QCommandLineParser& parser, const Switches& switches,
                        ServerOptions& options) {
    std::string szError;
    options.nPort = StartValues::kDefaultPort;
    if (parser.isSet(switches.port)) {
        const std::optional<int16_t> nPort =
            StartValues::ReadPort(parser.value(switches.port).toStdString(), szError);
        if (!nPort) {
            return "--port: " + szError;
        }
        options.nPort = *nPort;
    }
    options.szNick = ServerOptions::kDefaultNick;
    if (parser.isSet(switches.nick)) {
        const std::optional<std::string> szNick =
            StartValues::ReadNick(parser.value(switches.nick).toStdString(), szError);
        if (!szNick) {
            return "--nick: " + szError;
        }
        options.szNick = *szNick;
    }
    const QString szListen = parser.value(switches.listen);
    if (!szListen.isEmpty() && QHostAddress(szListen).isNull()) {
        return "--listen: not an IP address: " + szListen.toStdString();
    }
    options.szListen = szListen.toStdString();
    options.bSendPicture = parser.isSet(switches.sendPicture);
    options.szTlsCert = parser.value(switches.tlsCert).toStdString();
    options.szTlsKey = parser.value(switches.tlsKey).toStdString();
    options.bRequireTls = parser.isSet(switches.requireTls);
    return ServerTls::CheckArguments(options.szTlsCert, options.szTlsKey, options.bRequireTls);
}

// The limits, the password file and the ban file; why they are wrong, or nothing.
std::string ReadAccess(const QCommandLineParser& parser, const Switches& switches,
                       ServerOptions& options) {
    for (const auto& [pOption, pCount] :
         {std::pair{&switches.maxUsers, &options.nMaxUsers},
          std::pair{&switches.maxPerAddress, &options.nMaxPerAddress}}) {
        if (!parser.isSet(*pOption)) {
            continue;
        }
        const std::optional<int> nCount = ReadCount(parser.value(*pOption));
        if (!nCount) {
            return "--" + pOption->names().first().toStdString() +
                   ": must be a whole number from 0 (no limit) to 32767";
        }
        *pCount = *nCount;
    }
    std::string szError;
    if (parser.isSet(switches.passwordFile)) {
        options.szPasswordFile = parser.value(switches.passwordFile).toStdString();
        options.szPassword = PasswordFile::Read(options.szPasswordFile, szError);
        if (!options.szPassword) {
            return "--password-file: " + szError;
        }
    }
    if (parser.isSet(switches.banFile)) {
        options.szBanFile = parser.value(switches.banFile).toStdString();
        std::optional<std::vector<BanFile::Entry>> bans = BanFile::Read(options.szBanFile, szError);
        if (!bans) {
            return "--ban-file: " + szError;
        }
        options.bans = std::move(*bans);
    }
    return {};
}

// The web port; why it is wrong, or nothing.
std::string ReadWeb(const QCommandLineParser& parser, const Switches& switches,
                    ServerOptions& options) {
    if (!parser.isSet(switches.web)) {
        return {};
    }
    bool bOk = false;
    const uint nWeb = parser.value(switches.web).toUInt(&bOk);
    if (!bOk || nWeb == 0 || nWeb > 65535) {
        return "--web: not a port from 1 to 65535: " + parser.value(switches.web).toStdString();
    }
    if (static_cast<int>(nWeb) == options.nPort) {
        return "--web: the session's own port cannot serve the page too";
    }
    options.nWebPort = static_cast<uint16_t>(nWeb);
    return {};
}

} // namespace

ServerOptions ServerOptions::Parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Hosts a Zaplo session without a window: clients join, chat and draw "
                       "together; status lines go to standard output."));
    const Switches switches;
    parser.addOptions(switches.All());

    if (!parser.parse(arguments)) {
        return Failed(parser.errorText().toStdString());
    }
    const bool bControl = parser.isSet(switches.control) && !parser.isSet(switches.help) &&
                          !parser.isSet(switches.version);
    if (!bControl && !parser.positionalArguments().isEmpty()) {
        return Failed("unexpected argument: " + parser.positionalArguments().first().toStdString());
    }
    ServerOptions options;
    options.szControlSocket = parser.value(switches.controlSocket).toStdString();
    if (parser.isSet(switches.controlSocket) && options.szControlSocket.empty()) {
        return Failed("--control-socket: the path is empty");
    }
    if (bControl) {
        options.action = Action::Control;
        for (const QString& szWord : parser.positionalArguments()) {
            options.control.push_back(szWord.toStdString());
        }
        return options;
    }
    if (parser.isSet(switches.help)) {
        options.action = Action::Help;
        options.szText = HelpText(parser);
        return options;
    }
    if (parser.isSet(switches.version)) {
        options.action = Action::Version;
        options.szText = std::string("zaplo-server ") + ZAPLO_VERSION + "\n";
        return options;
    }
    for (const auto read : {ReadSession, ReadAccess, ReadWeb}) {
        if (const std::string szError = read(parser, switches, options); !szError.empty()) {
            return Failed(szError);
        }
    }
    return options;
}

} // namespace zaplo
