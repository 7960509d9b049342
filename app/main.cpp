// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"
#include "app/StartupLoop.h"
#include "base/AppState.h"
#include "net/EventLoopChoice.h"
#include "ui/connect/frmCertificate.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

int main(int argc, char** argv) {
    // The command line is read before the window system is reached: help, version and a
    // mistake on it need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const zaplo::CommandLine line = zaplo::CommandLine::Parse(arguments);
    switch (line.action) {
    case zaplo::CommandLine::Action::Help:
    case zaplo::CommandLine::Action::Version:
        std::fputs(line.szText.c_str(), stdout);
        return 0;
    case zaplo::CommandLine::Action::Fail:
        std::fprintf(stderr, "zaplo: %s (see zaplo --help)\n", line.szText.c_str());
        return 2;
    default:
        break;
    }

    zaplo::EventLoopChoice::PreferUnixLoop();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zaplo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));

    zaplo::AppState state;
    line.Apply(state);
    // A certificate nobody vouches for is put to the user; a refused one is shown.
    state.onCertificate = [](const zaplo::CertificateNote& note) {
        return zaplo::frmCertificate::Show(note, QApplication::activeWindow());
    };
    zaplo::StartupLoop loop(state);
    // Ending the program leaves the process from inside the loop; Run returns only if the
    // ending was replaced.
    loop.Run(line.action != zaplo::CommandLine::Action::Start);
    return 0;
}
