// SPDX-License-Identifier: MIT
// What a session password costs the host: its CPU for 1,000 wrong answers from one address
// (and how many it compared) against 1,000 honest joins to an open session, and a client's join
// with a password against one without, all as ratios of runs in this invocation.
#include "base/AppState.h"
#include "base/Ticks.h"
#include "net/NetSession.h"
#include "net/SessionHost.h"
#include "net/SessionView.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

namespace {

class QuietView : public zaplo::SessionView {
public:
    void SendToChatBox(const std::string&) override {}
    void Status(const std::string&) override {}
    void AddUsername(const std::string&, int16_t) override {}
    void RemoveUsername(int16_t) override {}
    void RefreshUserlist() override {}
    void DrawSegment(const zaplo::DrawRecord&) override {}
    void EraseCanvas() override {}
};

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// One peer's whole connection: connect, send szSend once the first line came, read to the close
// (or to the user list when bUntilList).
void Peer(uint16_t nPort, const std::string& szSend, bool bUntilList) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address{AF_INET, htons(nPort), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return;
    }
    if (bUntilList) {
        (void)!::write(fd, szSend.data(), szSend.size());
    }
    std::string got;
    char buffer[4096];
    bool bSent = bUntilList;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
        if (!bSent && got.find("\r\n") != std::string::npos) {
            (void)!::write(fd, szSend.data(), szSend.size());
            bSent = true;
        }
        if (bUntilList && got.find("{8}") != std::string::npos && got.ends_with("\r\n")) {
            break;
        }
    }
    ::close(fd);
}

struct Run {
    double dCpuMs = 0;
    int64_t nChecked = 0;
};

// The host on this thread, 1,000 peers one after the other on another. The host's clock runs
// 50 times fast so that the accept gate (20 a second per address) does not set the pace.
Run HostRun(const char* szPassword, const std::string& szSend, bool bUntilList) {
    zaplo::AppState state;
    state.nMode = zaplo::Mode::Server;
    state.szNick = "host";
    state.szListenHost = "127.0.0.1";
    state.nPort = 0;
    const int32_t lStart = zaplo::GetTicks();
    state.GetTicks = [lStart] {
        return zaplo::TicksAfter(lStart, (zaplo::GetTicks() - lStart) * 50);
    };
    if (szPassword != nullptr) {
        state.szSessionPassword = szPassword;
    }
    QuietView view;
    zaplo::SessionHost host(state, view);
    host.Start();
    const uint16_t nPort = host.Session().ListeningPort();
    std::atomic<bool> bDone = false;
    const double dStart = ThreadCpuMs();
    std::thread peers([&] {
        for (int i = 0; i < 1000; ++i) {
            Peer(nPort, szSend, bUntilList);
        }
        bDone = true;
    });
    while (!bDone) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    peers.join();
    QCoreApplication::processEvents();
    return {ThreadCpuMs() - dStart, host.Access().PasswordChecks()};
}

// Wall time of nJoins client joins (connect to user list), with or without a password.
double JoinMs(const char* szPassword, int nJoins) {
    zaplo::AppState serverState;
    serverState.nMode = zaplo::Mode::Server;
    serverState.szNick = "host";
    serverState.szListenHost = "127.0.0.1";
    // A client's port is 16-bit signed: a low one.
    serverState.nPort = static_cast<int16_t>(20000 + ::getpid() % 10000);
    if (szPassword != nullptr) {
        serverState.szSessionPassword = szPassword;
    }
    QuietView serverView;
    zaplo::SessionHost server(serverState, serverView);
    server.Start();
    const auto nPort = static_cast<int16_t>(server.Session().ListeningPort());
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < nJoins; ++i) {
        zaplo::AppState state;
        state.nMode = zaplo::Mode::Client;
        state.szNick = "c" + std::to_string(i);
        state.szServerIP = "127.0.0.1";
        state.nPort = nPort;
        if (szPassword != nullptr) {
            state.szSessionPassword = szPassword;
        }
        QuietView view;
        auto client = std::make_unique<zaplo::SessionHost>(state, view);
        client->Start();
        QElapsedTimer waited;
        waited.start();
        while (client->Users().Names().size() < 2) {
            if (waited.elapsed() > 10000) {
                std::fprintf(stderr, "join %d never saw itself in the user list\n", i);
                return -1;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        client.reset();
        QCoreApplication::processEvents();
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Run honest = HostRun(nullptr, "{2}honest\r\n", true);
    const Run guesses = HostRun("correct horse", "{12}" + std::string(64, '0') + "\r\n", false);
    std::printf("host CPU, 1000 wrong answers from one address / 1000 honest joins: %.2f "
                "(%.1f ms / %.1f ms); answers compared: %lld of 1000\n",
                guesses.dCpuMs / honest.dCpuMs, guesses.dCpuMs, honest.dCpuMs,
                static_cast<long long>(guesses.nChecked));
    const int nJoins = 50;
    const double dOpen = JoinMs(nullptr, nJoins);
    const double dProtected = JoinMs("correct horse", nJoins);
    if (dOpen < 0 || dProtected < 0) {
        return 1;
    }
    std::printf("client join with a password / without: %.2f (%.2f ms / %.2f ms a join)\n",
                dProtected / dOpen, dProtected / nJoins, dOpen / nJoins);
    return 0;
}
