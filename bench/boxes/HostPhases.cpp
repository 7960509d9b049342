// SPDX-License-Identifier: MIT
// The phases in which this program is a client window's host and sends it what a hostile host
// (or the peers it relays) would.
#include "bench/boxes/BoxPhases.h"
#include "bench/boxes/FakeHost.h"
#include "bench/boxes/LineText.h"

#include <algorithm>
#include <cstdio>

namespace {

// What sending took: until the last byte was taken, until the window was idle, its main
// thread's CPU and its peak resident memory on the way.
struct Taken {
    double sentMs = 0;
    double idleMs = 0;
    double cpuMs = 0;
    double peakMb = 0;
};

// Block i is block(i); each is due dueMsPerBlock after the one before.
template <class Blocks>
Taken SendPaced(FakeHost& h, std::size_t nBlocks, Blocks&& block, double dueMsPerBlock) {
    Taken taken;
    const auto t0 = Clock::now();
    const double cpu0 = CpuMs(h.Pid());
    for (std::size_t i = 0; i < nBlocks; ++i) {
        h.Send(block(i));
        while (MsSince(t0) < static_cast<double>(i + 1) * dueMsPerBlock) {
            SleepMs(1);
        }
        taken.peakMb = std::max(taken.peakMb, RssMb(h.Pid()));
    }
    taken.sentMs = MsSince(t0);
    taken.idleMs = WaitIdle(h.Pid(), t0, 300000);
    taken.peakMb = std::max(taken.peakMb, RssMb(h.Pid()));
    taken.cpuMs = CpuMs(h.Pid()) - cpu0;
    return taken;
}

} // namespace

void Memory(const BoxBench& bench) {
    std::printf("\n# memory: a client window's RSS per byte of status text received\n");
    for (std::size_t total : {std::size_t{4} << 20, std::size_t{32} << 20}) {
        if (bench.bShort && total > (4U << 20)) {
            continue;
        }
        FakeHost host(bench.szWindow);
        const double rss0 = RssMb(host.Pid());
        const std::string line = "{9}" + Words(1000) + "\r\n";
        const std::string block = Repeat(line, 64 * line.size());
        std::size_t sent = 0;
        const auto t0 = Clock::now();
        double peak = rss0;
        while (sent < total) {
            host.Send(block);
            sent += block.size();
            peak = std::max(peak, RssMb(host.Pid()));
        }
        (void)WaitIdle(host.Pid(), t0);
        const double rss1 = RssMb(host.Pid());
        peak = std::max(peak, rss1);
        std::printf("%5.1f MB of status text: rss %5.1f -> %6.1f MB (peak %6.1f), %.1f bytes of "
                    "memory per byte received, %.1f s to take it\n",
                    static_cast<double>(sent) / 1048576.0, rss0, rss1, peak,
                    (rss1 - rss0) * 1048576.0 / static_cast<double>(sent), MsSince(t0) / 1000.0);
        std::fflush(stdout);
    }
}

void Joins(const BoxBench& bench) {
    std::printf("\n# joins: a hostile host sends 400,000 joins in 10 s to a client window\n");
    FakeHost h(bench.szWindow);
    const int nJoins = bench.bShort ? 100'000 : 400'000;
    const int nSeconds = bench.bShort ? 3 : 10;
    std::vector<std::string> blocks;
    for (int i = 0; i < nJoins;) {
        std::string block;
        for (int k = 0; k < 1000 && i < nJoins; ++k, ++i) {
            block += "{2}u" + std::to_string(i) + "\r\n";
        }
        blocks.push_back(std::move(block));
    }
    const Taken t = SendPaced(
        h, blocks.size(), [&](std::size_t i) -> const std::string& { return blocks[i]; },
        nSeconds * 1000.0 * 1000 / nJoins);
    std::printf("%d joins sent in %.1f s: client busy until %.1f s (main thread cpu %.1f s), peak "
                "rss %.1f MB\n",
                nJoins, t.sentMs / 1000.0, t.idleMs / 1000.0, t.cpuMs / 1000.0, t.peakMb);
    std::fflush(stdout);
}

void Lists(const BoxBench& bench) {
    std::printf("\n# lists: a hostile host sends a 50,000-name user list 200 times\n");
    FakeHost h(bench.szWindow);
    const char* digits = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string line = "{8}";
    for (int i = 0; i < 50'000; ++i) {
        line += digits[i % 62];
        line += digits[(i / 62) % 62];
        line += digits[(i / 3844) % 62];
        line += ';';
    }
    line += "\r\n";
    const int nTimes = bench.bShort ? 50 : 200;
    const Taken t = SendPaced(
        h, static_cast<std::size_t>(nTimes),
        [&](std::size_t) -> const std::string& { return line; }, 0);
    std::printf("%d lists of 50,000 names (%zu bytes each) sent in %.1f s: client busy until "
                "%.1f s (main thread cpu %.1f s), peak rss %.1f MB\n",
                nTimes, line.size(), t.sentMs / 1000.0, t.idleMs / 1000.0, t.cpuMs / 1000.0,
                t.peakMb);
    std::fflush(stdout);
}

void Clears(const BoxBench& bench) {
    std::printf("\n# clears: what clears cost a client window's main thread, per MB received (a "
                "peer's lines as its host relays them)\n");
    const std::size_t nBytes = bench.bShort ? std::size_t{512} << 10 : std::size_t{2} << 20;
    const std::pair<const char*, std::string> kinds[] = {
        {"clears", "{11}\r\n"},
        {"one-pixel draw + clear", "{10}1;1;2;1;255;\r\n{11}\r\n"},
        {"one-pixel draws", "{10}1;1;2;1;255;\r\n"},
    };
    for (const auto& [name, unit] : kinds) {
        FakeHost host(bench.szWindow);
        const std::string block = Repeat(unit, 64 * 1024);
        const std::size_t nBlocks = nBytes / block.size();
        const double cpu0 = CpuMs(host.Pid());
        const auto t0 = Clock::now();
        for (std::size_t i = 0; i < nBlocks; ++i) {
            host.Send(block);
        }
        // All of it read, not only taken by the system, before idle counts as done.
        const bool bRead = host.WaitRead(300000);
        const double idleMs = WaitIdle(host.Pid(), t0, 300000);
        const double cpuMs = CpuMs(host.Pid()) - cpu0;
        const double mb = static_cast<double>(nBlocks * block.size()) / 1048576.0;
        std::printf("%-24s %5.2f MB: client main thread cpu %8.1f ms, %8.1f ms per MB, busy "
                    "until %.1f s%s\n",
                    name, mb, cpuMs, cpuMs / mb, idleMs / 1000.0, bRead ? "" : " (not all read)");
        std::fflush(stdout);
    }
}
