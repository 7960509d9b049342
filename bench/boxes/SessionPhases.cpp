// SPDX-License-Identifier: MIT
// The phases with a whole session: a server window, a client window and a talker beside a
// hostile peer.
#include "bench/boxes/BoxPhases.h"
#include "bench/boxes/BoxSocket.h"
#include "bench/boxes/EchoTimer.h"
#include "bench/boxes/LinePeer.h"
#include "bench/boxes/LineText.h"
#include "bench/boxes/WindowProcess.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr double kRssLimitMb = 3000; // a phase stops before a window exhausts the machine

// What a hostile peer does once per round: given the server's port and ms since the start.
using HostileStep = std::function<void(uint16_t, double)>;

struct Peaks {
    double server = 0;
    double client = 0;
};

// A server window, a client window and a talker; `hostile` does its thing for nSeconds while
// the talker sends a chat line every 50 ms and times its echo.
void Session(const BoxBench& bench, const char* title, int nSeconds, const HostileStep& hostile) {
    Window server = StartServer(bench.szWindow);
    Window client = StartClient(bench.szWindow, server.nPort);
    LinePeer talker{Connect(server.nPort), {}};
    SendAll(talker.fd, "{2}talker\r\n");
    (void)talker.WaitLine("{8}", Clock::now(), 5000);
    EchoTimer echo;
    Peaks peak;
    const auto t0 = Clock::now();
    auto nextPing = t0;
    auto nextRss = t0;
    while (MsSince(t0) < nSeconds * 1000.0) {
        hostile(server.nPort, MsSince(t0));
        const auto now = Clock::now();
        if (now >= nextPing) {
            echo.Ping(talker.fd);
            nextPing = now + std::chrono::milliseconds(50);
        }
        if (now >= nextRss) {
            peak.server = std::max(peak.server, RssMb(server.pid));
            peak.client = std::max(peak.client, RssMb(client.pid));
            nextRss = now + std::chrono::milliseconds(100);
            if (std::max(peak.server, peak.client) > kRssLimitMb) {
                std::printf("  (stopped after %.1f s: a window passed %.0f MB)\n",
                            MsSince(t0) / 1000.0, kRssLimitMb);
                break;
            }
        }
        talker.Pump(0, [&](std::string_view line) { echo.Take(line); });
    }
    echo.Finish();
    const std::vector<double>& echoes = echo.Echoes();
    std::printf("%-34s %2d s: echo p50 %7.1f p99 %8.1f max %8.1f ms (%zu pings, %d unanswered) | "
                "peak rss server %6.1f client %6.1f MB\n",
                title, nSeconds, Percentile(echoes, 0.5), Percentile(echoes, 0.99),
                Percentile(echoes, 1.0), echoes.size(), echo.Unanswered(), peak.server,
                peak.client);
    std::fflush(stdout);
    close(talker.fd);
    Stop(client);
    Stop(server);
}

// Connects and joins as szNick the first time; reads and drops what came back since.
void JoinOnceAndDrain(int& fd, uint16_t nPort, const char* szNick) {
    if (fd < 0) {
        fd = Connect(nPort);
        SendAll(fd, std::string("{2}") + szNick + "\r\n");
    }
    char sink[65536];
    while (recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

} // namespace

void Flood(const BoxBench& bench) {
    std::printf("\n# flood: one peer sends 1,000-byte chat lines as fast as it can\n");
    int fd = -1;
    std::string block;
    for (int i = 0; i < 32; ++i) {
        block += "{1}{flood}" + Words(990) + "\r\n";
    }
    Session(bench, "chat flood", bench.bShort ? 8 : 30, [&](uint16_t nPort, double) {
        JoinOnceAndDrain(fd, nPort, "flood");
        // Then a block if the socket takes it.
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 1) > 0 && (p.revents & POLLOUT)) {
            const ssize_t n = send(fd, block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            (void)n; // a partial block only spoils one line, which the window skips
        }
    });
    close(fd);
}

void LongLines(const BoxBench& bench) {
    std::printf("\n# longlines: one peer sends a 256 KiB unbreakable chat line every 2 s\n");
    int fd = -1;
    double next = 0;
    const std::string line = "{1}{long}" + Unbreakable(kMaxLine - 16) + "\r\n";
    Session(bench, "256 KiB line every 2 s", bench.bShort ? 8 : 30, [&](uint16_t nPort, double ms) {
        JoinOnceAndDrain(fd, nPort, "long");
        if (ms >= next) {
            SendAll(fd, line);
            next += 2000;
        }
    });
    close(fd);
}

void Churn(const BoxBench& bench) {
    std::printf("\n# churn: one peer joins and leaves in a loop\n");
    int cycles = 0;
    Session(bench, "join/leave loop", bench.bShort ? 8 : 30, [&](uint16_t nPort, double) {
        const int fd = Connect(nPort);
        SendAll(fd, "{2}churn" + std::to_string(cycles) + "\r\n");
        close(fd);
        ++cycles;
    });
    std::printf("  (%d join/leave cycles)\n", cycles);
}
