#include "app/CommandLine.h"

#include "base/AppState.h"
#include "net/core/StartValues.h"

#include <QCommandLineParser>

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
    parser.addOptions({help, version, host, join, nick});
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
        line.szText = "zaplo " + std::to_string(ZAPLO_VERSION_MAJOR) + "." +
                      std::to_string(ZAPLO_VERSION_MINOR) + "\n";
        return line;
    }
    const bool bHost = parser.isSet(host);
    const bool bJoin = parser.isSet(join);
    if (bHost && bJoin) {
        return Failed("--host and --join exclude each other");
    }
    if (!bHost && !bJoin) {
        return parser.isSet(nick) ? Failed("--nick needs --host or --join") : line;
    }
    std::string szError;
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
}

} // namespace zaplo
