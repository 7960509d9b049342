// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"

#include "base/AppState.h"
#include "net/CertificateTrust.h"
#include "net/ServerTls.h"
#include "net/core/StartValues.h"

#include <QCommandLineParser>
#include <QFile>

#include <algorithm>
#include <optional>

namespace zaplo {

namespace {

// The options QGuiApplication and QApplication take for themselves.
constexpr const char* kQtValueOptions[] = {"platform",
                                           "platformpluginpath",
                                           "platformtheme",
                                           "plugin",
                                           "qwindowgeometry",
                                           "qwindowicon",
                                           "qwindowtitle",
                                           "display",
                                           "geometry",
                                           "style",
                                           "stylesheet",
                                           "session",
                                           "name",
                                           "title",
                                           "visual"};
constexpr const char* kQtFlagOptions[] = {"reverse", "widgetcount", "sync", "nograb", "dograb"};

CommandLine Failed(const std::string& szReason) {
    CommandLine line;
    line.action = CommandLine::Action::Fail;
    line.szText = szReason;
    return line;
}

// A password longer than this is a file given by mistake, not a password.
constexpr qint64 kMaxPasswordBytes = 1024;

// The first line of the file at szPath, without its line end; the reason when there is none.
std::optional<std::string> ReadPasswordFile(const QString& szPath, std::string& szError) {
    QFile file(szPath);
    if (!file.open(QIODevice::ReadOnly)) {
        szError = "cannot read " + szPath.toStdString() + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    // A line end may follow the longest password; anything longer is cut here and refused.
    QByteArray line = file.readLine(kMaxPasswordBytes + 3);
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    if (line.size() > kMaxPasswordBytes) {
        szError = szPath.toStdString() + ": the password is longer than " +
                  std::to_string(kMaxPasswordBytes) + " bytes";
        return std::nullopt;
    }
    if (line.isEmpty()) {
        szError = szPath.toStdString() + ": the first line, the password, is empty";
        return std::nullopt;
    }
    return line.toStdString();
}

struct TlsOptions {
    QCommandLineOption tls{QStringLiteral("tls"),
                           QStringLiteral("With --join: joins over TLS. A certificate that the "
                                          "system trusts is taken; any other is shown with its "
                                          "fingerprint for you to accept once.")};
    QCommandLineOption fingerprint{
        QStringLiteral("tls-fingerprint"),
        QStringLiteral("With --join: joins over TLS and takes only the certificate with this "
                       "SHA-256 fingerprint (64 hex digits, colons optional)."),
        QStringLiteral("SHA256")};
    QCommandLineOption cert{QStringLiteral("tls-cert"),
                            QStringLiteral("With --host: also serves TLS on the port, with this "
                                           "PEM certificate (a full chain as it is)."),
                            QStringLiteral("FILE")};
    QCommandLineOption key{QStringLiteral("tls-key"),
                           QStringLiteral("With --tls-cert: the certificate's PEM private key."),
                           QStringLiteral("FILE")};
    QCommandLineOption require{QStringLiteral("require-tls"),
                               QStringLiteral("With --tls-cert: turns plain clients away with a "
                                              "status line saying so.")};
};

// The TLS options into line; the reason when they do not fit the session's kind.
std::string ReadTls(const QCommandLineParser& parser, const TlsOptions& options, bool bHost,
                    CommandLine& line) {
    line.szTlsCert = parser.value(options.cert).toStdString();
    line.szTlsKey = parser.value(options.key).toStdString();
    line.bRequireTls = parser.isSet(options.require);
    const bool bHostTls =
        parser.isSet(options.cert) || parser.isSet(options.key) || line.bRequireTls;
    const bool bJoinTls = parser.isSet(options.tls) || parser.isSet(options.fingerprint);
    if (bHostTls && !bHost) {
        return "--tls-cert, --tls-key and --require-tls need --host";
    }
    if (bJoinTls && bHost) {
        return "--tls and --tls-fingerprint need --join";
    }
    if (bHost) {
        return ServerTls::CheckArguments(line.szTlsCert, line.szTlsKey, line.bRequireTls);
    }
    line.bTls = bJoinTls;
    if (parser.isSet(options.fingerprint)) {
        const std::optional<std::string> szPrint =
            CertificateTrust::ReadFingerprint(parser.value(options.fingerprint).toStdString());
        if (!szPrint) {
            return "--tls-fingerprint: not a SHA-256 fingerprint (64 hex digits, colons "
                   "optional)";
        }
        line.szTlsFingerprint = *szPrint;
    }
    return {};
}

} // namespace

CommandLine CommandLine::Parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Draw together on a shared canvas and chat. Without options the start "
                       "screen opens; --host or --join opens a session's window directly."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and ends."));
    const QCommandLineOption host(
        QStringLiteral("host"),
        QStringLiteral("Hosts a session on PORT (1 to 32767; below 1024 needs "
                       "CAP_NET_BIND_SERVICE)."),
        QStringLiteral("PORT"));
    const QCommandLineOption join(
        QStringLiteral("join"),
        QStringLiteral("Joins the session at HOST, on PORT (default 201); an IPv6 address with "
                       "a port is written [ADDRESS]:PORT."),
        QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption nick(
        {QStringLiteral("n"), QStringLiteral("nick")},
        QStringLiteral("Your nickname in the session, at most 16 characters (default: none)."),
        QStringLiteral("NAME"));
    const TlsOptions tls;
    const QCommandLineOption passwordFile(
        QStringLiteral("password-file"),
        QStringLiteral("With --host: the session's password, which everyone who joins must "
                       "give; with --join: the password to answer with. The first line of "
                       "FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption maxUsers(
        QStringLiteral("max-users"),
        QStringLiteral("With --host: at most N clients joined at once; one more is told the "
                       "session is full (0, the default: no limit)."),
        QStringLiteral("N"));
    parser.addOptions({help, version, host, join, nick, tls.tls, tls.fingerprint, tls.cert, tls.key,
                       tls.require, passwordFile, maxUsers});
    // Qt's own options (-platform offscreen, -style fusion, ...) stay for QApplication, which
    // takes them out later: known here only so that they are not refused.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* szName : kQtValueOptions) {
        QCommandLineOption option(QLatin1String(szName), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* szName : kQtFlagOptions) {
        QCommandLineOption option{QLatin1String(szName)};
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    if (!parser.parse(arguments)) {
        return Failed(parser.errorText().toStdString());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Failed("unexpected argument: " + parser.positionalArguments().first().toStdString());
    }
    CommandLine line;
    if (parser.isSet(help)) {
        line.action = Action::Help;
        // The usage line names the program as it is installed, whatever path started it.
        QString szHelp = parser.helpText();
        const qsizetype nUsage = QStringLiteral("Usage: ").size();
        szHelp.replace(nUsage, szHelp.indexOf(QLatin1Char(' '), nUsage) - nUsage,
                       QStringLiteral("zaplo"));
        line.szText = szHelp.toStdString();
        return line;
    }
    if (parser.isSet(version)) {
        line.action = Action::Version;
        line.szText = std::string("zaplo ") + ZAPLO_VERSION + "\n";
        return line;
    }
    const bool bHost = parser.isSet(host);
    const bool bJoin = parser.isSet(join);
    if (bHost && bJoin) {
        return Failed("--host and --join exclude each other");
    }
    if (!bHost && !bJoin) {
        for (const QCommandLineOption* option :
             {&nick, &tls.tls, &tls.fingerprint, &tls.cert, &tls.key, &tls.require, &passwordFile,
              &maxUsers}) {
            if (parser.isSet(*option)) {
                return Failed("--" + option->names().constLast().toStdString() +
                              " needs --host or --join");
            }
        }
        return line;
    }
    if (const std::string szTls = ReadTls(parser, tls, bHost, line); !szTls.empty()) {
        return Failed(szTls);
    }
    std::string szError;
    if (parser.isSet(maxUsers)) {
        if (!bHost) {
            return Failed("--max-users needs --host");
        }
        bool bNumber = false;
        const QString szMax = parser.value(maxUsers);
        const int nMax = szMax.toInt(&bNumber);
        // Plain decimal digits only, as a port is read.
        const bool bDigits =
            !szMax.isEmpty() &&
            std::all_of(szMax.begin(), szMax.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        if (!bNumber || !bDigits || szMax.size() > 5 || nMax > 32767) {
            return Failed("--max-users: must be a whole number from 0 (no limit) to 32767");
        }
        line.nMaxUsers = nMax;
    }
    if (parser.isSet(passwordFile)) {
        line.szSessionPassword = ReadPasswordFile(parser.value(passwordFile), szError);
        if (!line.szSessionPassword) {
            return Failed("--password-file: " + szError);
        }
    }
    if (parser.isSet(nick)) {
        const std::optional<std::string> szNick =
            StartValues::ReadNick(parser.value(nick).toStdString(), szError);
        if (!szNick) {
            return Failed("--nick: " + szError);
        }
        line.szNick = *szNick;
    }
    if (bHost) {
        const std::optional<int16_t> nPort =
            StartValues::ReadPort(parser.value(host).toStdString(), szError);
        if (!nPort) {
            return Failed("--host: " + szError);
        }
        line.action = Action::Host;
        line.nPort = *nPort;
        line.szServerIP = StartValues::kDefaultServer;
        return line;
    }
    const std::optional<StartValues::Address> address =
        StartValues::ReadAddress(parser.value(join).toStdString(), szError);
    if (!address) {
        return Failed("--join: " + szError);
    }
    line.action = Action::Join;
    line.nPort = address->nPort;
    line.szServerIP = address->szHost;
    return line;
}

void CommandLine::Apply(AppState& state) const {
    if (action != Action::Host && action != Action::Join) {
        return;
    }
    state.nMode = action == Action::Host ? Mode::Server : Mode::Client;
    state.nPort = nPort;
    state.szNick = szNick;
    state.szServerIP = szServerIP;
    state.szTlsCert = szTlsCert;
    state.szTlsKey = szTlsKey;
    state.bRequireTls = bRequireTls;
    state.bTls = bTls;
    state.szTlsFingerprint = szTlsFingerprint;
    state.szSessionPassword = szSessionPassword;
    state.nMaxUsers = nMaxUsers;
}

} // namespace zaplo
