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

} // namespace

ServerOptions ServerOptions::Parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Hosts a Zaplo session without a window: clients join, chat and draw "
                       "together; status lines go to standard output."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and ends."));
    const QCommandLineOption port(
        {QStringLiteral("p"), QStringLiteral("port")},
        QStringLiteral("TCP port to listen on, 1 to 32767 (default 201; below 1024 needs "
                       "CAP_NET_BIND_SERVICE)."),
        QStringLiteral("PORT"));
    const QCommandLineOption nick(
        {QStringLiteral("n"), QStringLiteral("nick")},
        QStringLiteral("The host's nickname, first in the user list, at most 16 characters "
                       "(default \"host\")."),
        QStringLiteral("NAME"));
    const QCommandLineOption listen(
        {QStringLiteral("l"), QStringLiteral("listen")},
        QStringLiteral("IP address to listen on (default: every address)."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption sendPicture(
        QStringLiteral("send-picture"),
        QStringLiteral("Keeps the canvas and sends it to each newcomer right after its join is "
                       "answered, as ordinary draw records (default: off, no canvas kept)."));
    const QCommandLineOption tlsCert(
        QStringLiteral("tls-cert"),
        QStringLiteral("Also serves TLS on the port, with this PEM certificate (a full chain as "
                       "it is, such as Let's Encrypt's fullchain.pem)."),
        QStringLiteral("FILE"));
    const QCommandLineOption tlsKey(
        QStringLiteral("tls-key"),
        QStringLiteral("The certificate's PEM private key, without a passphrase."),
        QStringLiteral("FILE"));
    const QCommandLineOption requireTls(
        QStringLiteral("require-tls"),
        QStringLiteral("Turns plain clients away with one status line saying that the session "
                       "needs an encrypted connection."));
    const QCommandLineOption passwordFile(
        QStringLiteral("password-file"),
        QStringLiteral("Asks every client for the password in FILE's first line; it never "
                       "crosses the network (default: no password)."),
        QStringLiteral("FILE"));
    const QCommandLineOption banFile(
        QStringLiteral("ban-file"),
        QStringLiteral("Refuses the addresses and prefixes in FILE, one a line (192.0.2.7, "
                       "10.0.0.0/8, 2001:db8:1:2::/64; # comments)."),
        QStringLiteral("FILE"));
    const QCommandLineOption maxUsers(
        QStringLiteral("max-users"),
        QStringLiteral("At most N joined clients; 0: no limit (the default)."),
        QStringLiteral("N"));
    const QCommandLineOption maxPerAddress(
        QStringLiteral("max-per-address"),
        QStringLiteral("At most N connections from one address (IPv6: one /64); 0: no limit "
                       "(default 64)."),
        QStringLiteral("N"));
    const QCommandLineOption controlSocket(
        QStringLiteral("control-socket"),
        QStringLiteral("The local control socket (default: $RUNTIME_DIRECTORY/control, else "
                       "$XDG_RUNTIME_DIR/zaplo-server/control)."),
        QStringLiteral("PATH"));
    const QCommandLineOption control(
        QStringLiteral("control"),
        QStringLiteral("Gives a running zaplo-server a command and ends: who, disconnect NAME, "
                       "ban NAME, bans, unban ADDRESS, clear, say TEXT, password FILE|off, "
                       "picture on|off."));
    const QCommandLineOption web(
        QStringLiteral("web"),
        QStringLiteral("Also serves the page with which a browser joins, on this TCP port, 1 to "
                       "65535 (over TLS too when a certificate is given; default: none)."),
        QStringLiteral("PORT"));
    parser.addOptions({help, version, port, nick, listen, sendPicture, tlsCert, tlsKey, requireTls,
                       passwordFile, banFile, maxUsers, maxPerAddress, controlSocket, control,
                       web});

    if (!parser.parse(arguments)) {
        return Failed(parser.errorText().toStdString());
    }
    const bool bControl = parser.isSet(control) && !parser.isSet(help) && !parser.isSet(version);
    if (!bControl && !parser.positionalArguments().isEmpty()) {
        return Failed("unexpected argument: " + parser.positionalArguments().first().toStdString());
    }
    ServerOptions options;
    options.szControlSocket = parser.value(controlSocket).toStdString();
    if (parser.isSet(controlSocket) && options.szControlSocket.empty()) {
        return Failed("--control-socket: the path is empty");
    }
    if (bControl) {
        options.action = Action::Control;
        for (const QString& szWord : parser.positionalArguments()) {
            options.control.push_back(szWord.toStdString());
        }
        return options;
    }
    if (parser.isSet(help)) {
        options.action = Action::Help;
        // The usage line names the program as it is installed, whatever path started it.
        QString szHelp = parser.helpText();
        const qsizetype nUsage = QStringLiteral("Usage: ").size();
        szHelp.replace(nUsage, szHelp.indexOf(QLatin1Char(' '), nUsage) - nUsage,
                       QStringLiteral("zaplo-server"));
        options.szText = szHelp.toStdString();
        return options;
    }
    if (parser.isSet(version)) {
        options.action = Action::Version;
        options.szText = std::string("zaplo-server ") + ZAPLO_VERSION + "\n";
        return options;
    }
    std::string szError;
    options.nPort = StartValues::kDefaultPort;
    if (parser.isSet(port)) {
        const std::optional<int16_t> nPort =
            StartValues::ReadPort(parser.value(port).toStdString(), szError);
        if (!nPort) {
            return Failed("--port: " + szError);
        }
        options.nPort = *nPort;
    }
    options.szNick = kDefaultNick;
    if (parser.isSet(nick)) {
        const std::optional<std::string> szNick =
            StartValues::ReadNick(parser.value(nick).toStdString(), szError);
        if (!szNick) {
            return Failed("--nick: " + szError);
        }
        options.szNick = *szNick;
    }
    const QString szListen = parser.value(listen);
    if (!szListen.isEmpty() && QHostAddress(szListen).isNull()) {
        return Failed("--listen: not an IP address: " + szListen.toStdString());
    }
    options.szListen = szListen.toStdString();
    options.bSendPicture = parser.isSet(sendPicture);
    options.szTlsCert = parser.value(tlsCert).toStdString();
    options.szTlsKey = parser.value(tlsKey).toStdString();
    options.bRequireTls = parser.isSet(requireTls);
    const std::string szTls =
        ServerTls::CheckArguments(options.szTlsCert, options.szTlsKey, options.bRequireTls);
    if (!szTls.empty()) {
        return Failed(szTls);
    }
    for (const auto& [pOption, pCount] : {std::pair{&maxUsers, &options.nMaxUsers},
                                          std::pair{&maxPerAddress, &options.nMaxPerAddress}}) {
        if (!parser.isSet(*pOption)) {
            continue;
        }
        const std::optional<int> nCount = ReadCount(parser.value(*pOption));
        if (!nCount) {
            return Failed("--" + pOption->names().first().toStdString() +
                          ": must be a whole number from 0 (no limit) to 32767");
        }
        *pCount = *nCount;
    }
    if (parser.isSet(passwordFile)) {
        options.szPasswordFile = parser.value(passwordFile).toStdString();
        options.szPassword = PasswordFile::Read(options.szPasswordFile, szError);
        if (!options.szPassword) {
            return Failed("--password-file: " + szError);
        }
    }
    if (parser.isSet(banFile)) {
        options.szBanFile = parser.value(banFile).toStdString();
        std::optional<std::vector<BanFile::Entry>> bans = BanFile::Read(options.szBanFile, szError);
        if (!bans) {
            return Failed("--ban-file: " + szError);
        }
        options.bans = std::move(*bans);
    }
    if (parser.isSet(web)) {
        bool bOk = false;
        const uint nWeb = parser.value(web).toUInt(&bOk);
        if (!bOk || nWeb == 0 || nWeb > 65535) {
            return Failed("--web: not a port from 1 to 65535: " + parser.value(web).toStdString());
        }
        if (static_cast<int>(nWeb) == options.nPort) {
            return Failed("--web: the session's own port cannot serve the page too");
        }
        options.nWebPort = static_cast<uint16_t>(nWeb);
    }
    return options;
}

} // namespace zaplo
