// SPDX-License-Identifier: MIT
#include "bench/soak/ServerProcess.h"

#include "base/AppState.h"
#include "net/EventLoopChoice.h"
#include "net/NetSession.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

} // namespace

int RunServer(int argc, char** argv) {
    zaplo::EventLoopChoice::PreferUnixLoop();
    QApplication app(argc, argv);
    zaplo::AppState state;
    state.nMode = zaplo::Mode::Server;
    state.nPort = 0;
    state.szListenHost = "127.0.0.1";
    state.szNick = "host";
    state.onEnd = nullptr;
    auto window = std::make_unique<zaplo::frmMain>(state);
    std::printf("%u\n", window->Session()->ListeningPort());
    std::fflush(stdout);
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[64];
        if (::read(0, buf, sizeof buf) <= 0) {
            app.quit();
        }
    });
    app.exec();
    std::printf("%ld\n", PeakRssKb());
    return 0;
}

void WithServer(const std::string& szProgram, const std::function<void(uint16_t)>& fn,
                long& nPeakKb) {
    int toServer[2];
    int fromServer[2];
    if (::pipe(toServer) != 0 || ::pipe(fromServer) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(toServer[0], 0);
        ::dup2(fromServer[1], 1);
        ::close(toServer[1]);
        ::close(fromServer[0]);
        ::execl(szProgram.c_str(), "soak", "--server", static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(toServer[0]);
    ::close(fromServer[1]);
    FILE* out = ::fdopen(fromServer[0], "r");
    unsigned nPort = 0;
    if (std::fscanf(out, "%u", &nPort) != 1) {
        std::fprintf(stderr, "server did not start\n");
        std::exit(1);
    }
    fn(static_cast<uint16_t>(nPort));
    ::close(toServer[1]);
    if (std::fscanf(out, "%ld", &nPeakKb) != 1) {
        nPeakKb = -1;
    }
    std::fclose(out);
    ::waitpid(pid, nullptr, 0);
}

void WithServerToLineEnd(const std::string& szProgram, const std::function<void(uint16_t)>& fn,
                         const char* szLabel) {
    long nPeakKb = 0;
    WithServer(szProgram, fn, nPeakKb);
    std::printf(", %s %ld MB\n", szLabel, nPeakKb / 1024);
    std::fflush(stdout);
}
