// SPDX-License-Identifier: MIT
// One real session window for the relay and idle benchmarks: the program's own main window,
// shown offscreen, in server or client mode, with everything it does in a session (relaying,
// canvas drawing, the send timer). No change to the program: this only fills in the settings
// that the start screen and the connection dialog would have set.
//
//   QT_QPA_PLATFORM=offscreen zaplo_bench_window server [port]        (port 0 or none: a free one)
//   QT_QPA_PLATFORM=offscreen zaplo_bench_window client <port> [host]
// The server with --tls-cert FILE --tls-key FILE serves TLS too, as zaplo --host does with them;
// with --password P it challenges every connection, as a session password makes it.
// The server prints the port it listens on as the first line of stdout. Runs until killed or
// until the window closes.
#include "base/AppState.h"
#include "net/EventLoopChoice.h"
#include "net/NetSession.h"
#include "ui/main/frmMain.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

int main(int argc, char** argv) {
    zaplo::EventLoopChoice::PreferUnixLoop();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zaplo"));
    // The TLS options out of the way of the positional ones.
    std::string szCert;
    std::string szKey;
    std::optional<std::string> szPassword;
    int nArgs = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tls-cert") == 0 && i + 1 < argc) {
            szCert = argv[++i];
        } else if (std::strcmp(argv[i], "--tls-key") == 0 && i + 1 < argc) {
            szKey = argv[++i];
        } else if (std::strcmp(argv[i], "--password") == 0 && i + 1 < argc) {
            szPassword = argv[++i];
        } else {
            argv[nArgs++] = argv[i];
        }
    }
    argc = nArgs;
    const bool bClient = argc > 1 && std::strcmp(argv[1], "client") == 0;
    const int nPort = argc > 2 ? std::atoi(argv[2]) : 0;
    if (nPort < 0 || nPort > 32767 || (bClient && nPort == 0)) {
        std::fprintf(stderr, "usage: %s server [port] | client <port 1-32767> [host]\n", argv[0]);
        return 2;
    }

    zaplo::AppState state;
    state.onEnd = nullptr;
    state.nMode = bClient ? zaplo::Mode::Client : zaplo::Mode::Server;
    state.nPort = static_cast<int16_t>(nPort);
    state.szNick = bClient ? "benchclient" : "benchhost";
    state.szServerIP = argc > 3 ? argv[3] : "127.0.0.1";
    state.szListenHost = "127.0.0.1";
    state.szTlsCert = szCert;
    state.szTlsKey = szKey;
    state.szSessionPassword = szPassword;

    auto window = std::make_unique<zaplo::frmMain>(state);
    if (!bClient) {
        const uint16_t nListening = window->Session() ? window->Session()->ListeningPort() : 0;
        if (nListening == 0) {
            std::fprintf(stderr, "the server window is not listening\n");
            return 1;
        }
        std::printf("%u\n", static_cast<unsigned>(nListening));
    } else {
        std::printf("connected\n");
    }
    std::fflush(stdout);
    window->ShowModal();
    return 0;
}
