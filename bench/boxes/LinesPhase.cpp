// SPDX-License-Identifier: MIT
// One chat line of 25,000 / 100,000 / 256 KiB characters of several hostile kinds, then a short
// line: at a server window the time until each comes back, at a client window the main
// thread's CPU time until it is idle again.
#include "bench/boxes/BoxPhases.h"
#include "bench/boxes/BoxSocket.h"
#include "bench/boxes/FakeHost.h"
#include "bench/boxes/LineText.h"

#include <cstdio>
#include <unistd.h>

namespace {

struct Kind {
    const char* name;
    std::string (*make)(std::size_t);
};

struct Costs {
    double first = 0;
    double next = 0;
    double rss = 0;
};

// Server window: ms until the line's echo, then a short one's. The talker joins under the name
// the line carries, so the server relays it as it is.
Costs ServerEcho(const BoxBench& bench, const std::string& payload) {
    Window server = StartServer(bench.szWindow);
    LinePeer talker{Connect(server.nPort), {}};
    SendAll(talker.fd, "{2}bad\r\n");
    (void)talker.WaitLine("{8}", Clock::now(), 5000);
    Costs costs;
    auto t0 = Clock::now();
    SendAll(talker.fd, "{1}" + payload + "\r\n");
    costs.first = talker.WaitLine("{1}{bad}", t0, 120000);
    t0 = Clock::now();
    SendAll(talker.fd, "{1}{bad}next\r\n");
    costs.next = talker.WaitLine("{1}{bad}next", t0, 120000);
    close(talker.fd);
    Stop(server);
    return costs;
}

// Client window: a hostile host sends the line, then a short one; CPU until idle after each.
Costs ClientCpu(const BoxBench& bench, const std::string& payload) {
    FakeHost host(bench.szWindow);
    Costs costs;
    costs.first = host.CpuFor("{1}" + payload + "\r\n");
    costs.next = host.CpuFor("{1}{bad}next\r\n");
    costs.rss = RssMb(host.Pid());
    return costs;
}

} // namespace

void Lines(const BoxBench& bench) {
    std::printf("\n# lines: one chat line, then a short one (server: ms to echo; client: main "
                "thread CPU ms until idle)\n");
    const std::vector<Kind> kinds = {
        {"W (no break)", Unbreakable},
        {"0xFF bytes", [](std::size_t n) { return std::string(n, '\xFF'); }},
        {"NUL bytes", [](std::size_t n) { return std::string(n, '\0'); }},
        {"bidi controls",
         [](std::size_t n) {
             return Repeat("\xE2\x80\xAE"
                           "a",
                           n);
         }},
        {"combining marks", [](std::size_t n) { return "a" + Repeat("\xCC\x81", n - 1); }},
    };
    std::vector<std::size_t> sizes = {25000, 100000, kMaxLine - 16};
    for (const Kind& kind : kinds) {
        for (std::size_t n : sizes) {
            if (kind.make != Unbreakable && n != sizes.back()) {
                continue; // the other kinds at the largest size only
            }
            if (bench.bShort && n == 100000) {
                continue;
            }
            const std::string payload = "{bad}" + kind.make(n);
            const Costs server = ServerEcho(bench, payload);
            const Costs client = ClientCpu(bench, payload);
            std::printf("%-16s %7zu bytes: server echo %8.1f ms, next %6.1f ms | client cpu %8.1f "
                        "ms, next %6.1f ms, rss %5.0f MB\n",
                        kind.name, payload.size(), server.first, server.next, client.first,
                        client.next, client.rss);
            std::fflush(stdout);
        }
    }
}
