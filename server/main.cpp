// SPDX-License-Identifier: MIT
// zaplo-server: hosts a session without a window, on Qt Core and Qt Network only; with
// --control, gives a running one a command.
#include "net/EventLoopChoice.h"
#include "server/ControlClient.h"
#include "server/HeadlessServer.h"
#include "server/ServerOptions.h"
#include "server/SignalPipe.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    zaplo::EventLoopChoice::PreferUnixLoop();
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
    case zaplo::ServerOptions::Action::Control:
        return zaplo::ControlClient::Main(options.control, options.szControlSocket,
                                          QProcessEnvironment::systemEnvironment());
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
    zaplo::HeadlessServer server(options, QProcessEnvironment::systemEnvironment());
    if (const int nStatus = server.Start(); nStatus != 0) {
        return nStatus;
    }
    QObject::connect(&signals, &zaplo::SignalPipe::Signalled, &app, [&server] {
        server.Stop();
        // What the closes left to do runs before the loop ends.
        QCoreApplication::processEvents();
        QCoreApplication::exit(0);
    });
    return QCoreApplication::exec();
}
