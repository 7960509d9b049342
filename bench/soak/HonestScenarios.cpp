// SPDX-License-Identifier: MIT
#include "bench/soak/HonestScenarios.h"

#include "bench/soak/Honest.h"
#include "bench/soak/HostilePeer.h"
#include "bench/soak/ServerProcess.h"
#include "bench/soak/SoakStats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

struct Result {
    long nLost = 0;
    int nHonestCut = 0;
    double dP50 = 0;
    double dP99 = 0;
    int nCut = 0;
    double dLastCutS = 0;
    long nHostileReceived = 0;
    long nFloodRecords = 0;
};

// Non-readers: joined with a small receive buffer, never reading.
std::vector<int> JoinNonReaders(uint16_t nPort) {
    std::vector<int> nonReaders;
    for (int i = 0; i < kNonReaders; ++i) {
        const int fd = Connect(nPort, 4096);
        SendAll(fd, "{2}nr" + std::to_string(i) + "\r\n");
        nonReaders.push_back(fd);
    }
    return nonReaders;
}

void ShowSlowestEchoes(std::vector<double> echoMs) {
    std::sort(echoMs.begin(), echoMs.end());
    for (std::size_t i = echoMs.size() > 12 ? echoMs.size() - 12 : 0; i < echoMs.size(); ++i) {
        std::fprintf(stderr, "%.1f ", echoMs[i]);
    }
    std::fprintf(stderr, "(of %zu)\n", echoMs.size());
}

Result Figures(const Shared& shared) {
    Result result;
    result.nLost = shared.nLost;
    result.nHonestCut = shared.nHonestCut;
    result.dP50 = Percentile(shared.echoMs, 0.5);
    result.dP99 = Percentile(shared.echoMs, 0.99);
    if (std::getenv("SOAK_DEBUG") != nullptr) {
        ShowSlowestEchoes(shared.echoMs);
    }
    result.nCut = static_cast<int>(shared.cutAtMs.size());
    for (const auto& [name, ms] : shared.cutAtMs) {
        result.dLastCutS = std::max(result.dLastCutS, ms / 1000);
    }
    result.nFloodRecords = shared.nFloodRecords;
    return result;
}

Result RunPeers(Hostile kind, uint16_t nPort, double dSeconds) {
    Shared shared;
    std::vector<std::unique_ptr<Honest>> honest;
    for (int i = 0; i < kHonest; ++i) {
        honest.push_back(std::make_unique<Honest>(i, nPort, shared));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<int> nonReaders =
        kind != Hostile::None ? JoinNonReaders(nPort) : std::vector<int>{};
    shared.t0 = SoakClock::now();
    long nHostileReceived = 0;
    std::thread hostile;
    if (kind != Hostile::None) {
        hostile = std::thread([&] { RunHostile(kind, nPort, shared, nHostileReceived); });
    }
    std::vector<std::thread> threads;
    for (auto& peer : honest) {
        threads.emplace_back([&peer, dSeconds] { peer->Run(dSeconds); });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(dSeconds));
    shared.bStop = true;
    for (auto& t : threads) {
        t.join();
    }
    if (hostile.joinable()) {
        hostile.join();
    }
    for (const int fd : nonReaders) {
        ::close(fd);
    }
    Result result = Figures(shared);
    result.nHostileReceived = nHostileReceived;
    return result;
}

// One scenario of the honest clients against a fresh server process.
Result Scenario(const SoakOptions& options, Hostile kind, double dSeconds, long& nPeakKb) {
    Result result;
    WithServer(
        options.szServer, [&](uint16_t nPort) { result = RunPeers(kind, nPort, dSeconds); },
        nPeakKb);
    return result;
}

} // namespace

void RunHonestScenarios(const SoakOptions& options) {
    const double dBase = options.BaseSeconds();
    const double dPhase = options.PhaseSeconds();
    long nPeak = 0;
    const Result base = Scenario(options, Hostile::None, dBase, nPeak);
    std::printf("no flood (%gs): honest lost %ld, honest cut %d, echo p50 %.1f ms p99 %.1f ms, "
                "peak RSS %ld MB\n",
                dBase, base.nLost, base.nHonestCut, base.dP50, base.dP99, nPeak / 1024);
    const std::pair<Hostile, const char*> kScenarios[] = {
        {Hostile::Flood, "flooder"},
        {Hostile::Bulk, "500 x 60,000-digit lines"},
        {Hostile::Joins, "10,000 joins on one connection"}};
    for (const auto& [kind, name] : kScenarios) {
        const Result r = Scenario(options, kind, dPhase, nPeak);
        std::printf(
            "%s + %d non-readers + %d honest (%gs): honest lost %ld, honest cut %d, "
            "echo p50 %.1f ms p99 %.1f ms (no flood p99 %.1f ms), non-readers cut %d/%d, "
            "last cut after %.1f s, peak RSS %ld MB, hostile peer received %.1f MB, flood records "
            "relayed to an honest client %.0f/s\n",
            name, kNonReaders, kHonest, dPhase, r.nLost, r.nHonestCut, r.dP50, r.dP99, base.dP99,
            r.nCut, kNonReaders, r.dLastCutS, nPeak / 1024,
            static_cast<double>(r.nHostileReceived) / 1e6,
            static_cast<double>(r.nFloodRecords) / dPhase);
        std::fflush(stdout);
    }
}
