// zaplo-server: hosts a session without a window, on Qt Core and Qt Network only.
#include "base/AppState.h"
#include "net/SessionHost.h"
#include "server/ConsoleView.h"
#include "server/ServerOptions.h"
#include "server/SignalPipe.h"
#include "server/StatusPrinter.h"
#include "web/WebGateway.h"

#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zaplo-server"));

    const zaplo::ServerOptions options = zaplo::ServerOptions::Parse(QCoreApplication::arguments());
    switch (options.action) {
    case zaplo::ServerOptions::Action::Help:
    case zaplo::ServerOptions::Action::Version:
        std::fputs(options.szText.c_str(), stdout);
        return 0;
    case zaplo::ServerOptions::Action::Fail:
        std::fprintf(stderr, "zaplo-server: %s (see zaplo-server --help)\n",
                     options.szText.c_str());
        return 2;
    case zaplo::ServerOptions::Action::Run:
        break;
    }

    // A reader of standard output that went away must not end the session.
    std::signal(SIGPIPE, SIG_IGN);
    zaplo::SignalPipe signals;
    if (!signals.Ok()) {
        std::fputs("zaplo-server: cannot catch SIGTERM and SIGINT\n", stderr);
        return 1;
    }

    zaplo::AppState state;
    state.nPort = options.nPort;
    state.szNick = options.szNick;
    state.szListenHost = options.szListen;
    state.szTlsCert = options.szTlsCert;
    state.szTlsKey = options.szTlsKey;
    state.bRequireTls = options.bRequireTls;
    zaplo::StatusPrinter printer(
        [](std::string_view szLine) {
            std::fwrite(szLine.data(), 1, szLine.size(), stdout);
            std::fflush(stdout);
        },
        [] { return QDateTime::currentDateTime(); }, [&state] { return state.GetTicks(); });
    std::string szLastStatus;
    state.nMode = zaplo::Mode::Server;
    zaplo::ConsoleView view(
        [&](const std::string& szStatus) {
            szLastStatus = szStatus;
            printer.Print(szStatus);
        },
        options.bSendPicture);
    zaplo::SessionHost host(state, view);
    host.SetSendPicture(options.bSendPicture);
    host.Start();
    if (!host.Listening()) {
        const bool bPortProblem = szLastStatus.starts_with("Cannot listen");
        const char* szHint = bPortProblem && options.nPort < 1024
                                 ? "; use a port from 1024 to 32767, or grant CAP_NET_BIND_SERVICE"
                                 : "";
        std::fprintf(stderr, "zaplo-server: %s%s\n", szLastStatus.c_str(), szHint);
        return 1;
    }

    // Browsers join through a gateway of their own, only when asked for.
    std::unique_ptr<zaplo::WebGateway> web;
    if (options.nWebPort != 0) {
        web = std::make_unique<zaplo::WebGateway>(state, host);
        if (!web->Listen(options.nWebPort)) {
            std::fprintf(stderr, "zaplo-server: %s\n", web->Error().c_str());
            return 1;
        }
    }

    QObject::connect(&signals, &zaplo::SignalPipe::Signalled, &app, [&host] {
        host.Stop();
        // What the closes left to do runs before the loop ends.
        QCoreApplication::processEvents();
        QCoreApplication::exit(0);
    });
    return QCoreApplication::exec();
}
