#include "server/ServerOptions.h"

#include "net/ServerTls.h"
#include "net/core/StartValues.h"

#include <QCommandLineParser>
#include <QHostAddress>

namespace zaplo {

namespace {

ServerOptions Failed(const std::string& szReason) {
    ServerOptions options;
    options.action = ServerOptions::Action::Fail;
    options.szText = szReason;
    return options;
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
    parser.addOptions(
        {help, version, port, nick, listen, sendPicture, tlsCert, tlsKey, requireTls});

    if (!parser.parse(arguments)) {
        return Failed(parser.errorText().toStdString());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Failed("unexpected argument: " + parser.positionalArguments().first().toStdString());
    }
    ServerOptions options;
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
    return options;
}

} // namespace zaplo
