// SPDX-License-Identifier: MIT
#include "bench/soak/PacingPhases.h"

#include "bench/soak/HostilePeer.h"
#include "bench/soak/ServerProcess.h"
#include "bench/soak/SoakStats.h"
#include "bench/soak/Swarm.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

using Peers = std::vector<std::unique_ptr<SwarmPeer>>;

std::vector<double> LinesFrom(const SwarmPeer& at, int id) {
    return at.chatMs.count(id) ? at.chatMs.at(id) : std::vector<double>{};
}

// Peers 0 (fast reader), 1 (slow reader) and 2 (talker) after the flood.
// szReader names the slow reader in the printed line.
void PrintFlood(const Peers& peers, double dSeconds, const char* szReader) {
    const SwarmPeer& fast = *peers[0];
    const SwarmPeer& slow = *peers[1];
    const SwarmPeer& talk = *peers[2];
    const auto atFast = LinesFrom(fast, 2);
    const auto atSlow = LinesFrom(slow, 2);
    int nCut = 0;
    for (const auto& p : peers) {
        nCut += p->Closed() || talk.departures.count(p->plan.szNick) ? 1 : 0;
    }
    std::printf("flooder + %s + talker (5 lines/s) + fast reader (%gs): "
                "talker's lines at the fast reader %zu/%ld p50 %.1f ms p95 %.1f ms p99 %.1f ms "
                "max %.1f ms; at the slow reader %zu/%ld p50 %.1f ms p95 %.1f ms p99 %.1f ms max "
                "%.1f ms; honest cut %d; lost or reordered %ld; flood records reaching the fast "
                "reader %.0f/s",
                szReader, dSeconds, atFast.size(), talk.nChatsMade, Percentile(atFast, 0.5),
                Percentile(atFast, 0.95), Percentile(atFast, 0.99), Max(atFast), atSlow.size(),
                talk.nChatsMade, Percentile(atSlow, 0.5), Percentile(atSlow, 0.95),
                Percentile(atSlow, 0.99), Max(atSlow), nCut,
                Missing(fast, peers) + Missing(slow, peers) + fast.nDisorder + slow.nDisorder,
                static_cast<double>(fast.nFloodRecords) / dSeconds);
}

// nRcvBuf: the slow reader's receive buffer (0: the system's, which grows as it sees fit).
void FloodSlowTalker(uint16_t nPort, double dSeconds, int nRcvBuf) {
    Peers peers;
    peers.push_back(std::make_unique<SwarmPeer>(0, PeerPlan{"fast"}, nPort));
    peers.push_back(std::make_unique<SwarmPeer>(1, PeerPlan{"slow", 0, 0, 125000, nRcvBuf}, nPort));
    peers.push_back(std::make_unique<SwarmPeer>(2, PeerPlan{"talk", 0, 5}, nPort));
    RunSwarm(peers, 0.3, 0); // everybody has joined before the flood starts
    Shared shared;
    long nFloodGot = 0;
    std::thread flooder([&] { RunHostile(Hostile::Flood, nPort, shared, nFloodGot); });
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::duration<double>(dSeconds));
        shared.bStop = true;
    });
    RunSwarm(peers, dSeconds, 10);
    stopper.join();
    flooder.join();
    PrintFlood(peers, dSeconds,
               nRcvBuf > 0 ? "125 KB/s reader" : "125 KB/s plain reader (system receive buffer)");
}

struct DrawersResult {
    std::vector<double> chatMs; // at the drawers
    long nLost = 0;
    int nDrawersCut = 0;
    double dSlowCutS = -1;
    double dSlowLagMaxMs = -1;
    long nPeakKb = 0;
    double dDrainS = 0;
};

constexpr int kDrawers = 20;

// What the drawers (the first kDrawers peers) saw; the slow reader comes after them.
void CountDrawers(const Peers& peers, DrawersResult& result) {
    for (int i = 0; i < kDrawers; ++i) {
        const SwarmPeer& p = *peers[static_cast<std::size_t>(i)];
        for (const auto& [k, v] : p.chatMs) {
            result.chatMs.insert(result.chatMs.end(), v.begin(), v.end());
        }
        result.nLost += Missing(p, peers) + p.nDisorder;
        result.nDrawersCut += p.Closed() ? 1 : 0;
        for (const auto& [name, ms] : p.departures) {
            if (name == "slow") {
                result.dSlowCutS = std::max(result.dSlowCutS, ms / 1000);
            } else {
                ++result.nDrawersCut;
            }
        }
    }
}

void Drawers(uint16_t nPort, double dSeconds, long nDrawerRate, bool bSlowReader,
             DrawersResult& result) {
    Peers peers;
    for (int i = 0; i < kDrawers; ++i) {
        const PeerPlan plan{"d" + std::to_string(i), 100, 1, nDrawerRate,
                            nDrawerRate > 0 ? 8192 : 0};
        peers.push_back(std::make_unique<SwarmPeer>(i, plan, nPort));
    }
    if (bSlowReader) {
        peers.push_back(
            std::make_unique<SwarmPeer>(kDrawers, PeerPlan{"slow", 0, 0, 32000, 8192}, nPort));
    }
    RunSwarm(peers, 0.5, 0);
    const auto t0 = SoakClock::now();
    RunSwarm(peers, dSeconds, 60);
    result.dDrainS = MsSince(t0) / 1000 - dSeconds;
    CountDrawers(peers, result);
    if (bSlowReader) {
        std::vector<std::vector<double>> parts;
        for (const auto& [k, v] : peers.back()->chatMs) {
            parts.push_back(v);
        }
        result.dSlowLagMaxMs = Max(Joined(parts));
    }
}

// 20 drawers at 100 records/s and one chat line per second each; nDrawerRate: the bytes per
// second every drawer takes (0: all); bSlowReader: one more reader that takes 32 KB/s.
DrawersResult PhaseDrawers(const SoakOptions& options, long nDrawerRate, bool bSlowReader) {
    DrawersResult result;
    WithServer(
        options.szServer,
        [&](uint16_t nPort) {
            Drawers(nPort, options.PhaseSeconds(), nDrawerRate, bSlowReader, result);
        },
        result.nPeakKb);
    return result;
}

} // namespace

void RunFloodPhase(const SoakOptions& options) {
    WithServerToLineEnd(options.szServer, [&](uint16_t nPort) {
        FloodSlowTalker(nPort, options.PhaseSeconds(), 8192);
    });
}

void RunFloodPlainPhase(const SoakOptions& options) {
    WithServerToLineEnd(options.szServer,
                        [&](uint16_t nPort) { FloodSlowTalker(nPort, options.PhaseSeconds(), 0); });
}

void RunDrawersPhase(const SoakOptions& options) {
    const double dPhase = options.PhaseSeconds();
    const DrawersResult plain = PhaseDrawers(options, 0, false);
    const DrawersResult slow = PhaseDrawers(options, 0, true);
    std::printf("20 drawers at 100 records/s (%gs): chat p50 %.1f ms p99 %.1f ms, lost %ld, "
                "drawers cut %d, peak RSS %ld MB\n",
                dPhase, Percentile(plain.chatMs, 0.5), Percentile(plain.chatMs, 0.99), plain.nLost,
                plain.nDrawersCut, plain.nPeakKb / 1024);
    std::printf("20 drawers + one 32 KB/s reader (%gs): drawers' chat p50 %.1f ms p99 %.1f "
                "ms (%.2fx without the reader), lost %ld, drawers cut %d, slow reader "
                "announced gone after %.1f s (its largest chat lag %.1f s), peak RSS %ld MB\n",
                dPhase, Percentile(slow.chatMs, 0.5), Percentile(slow.chatMs, 0.99),
                Percentile(slow.chatMs, 0.99) / std::max(Percentile(plain.chatMs, 0.99), 0.001),
                slow.nLost, slow.nDrawersCut, slow.dSlowCutS, slow.dSlowLagMaxMs / 1000,
                slow.nPeakKb / 1024);
    std::fflush(stdout);
}

void RunAlikePhase(const SoakOptions& options) {
    const double dPhase = options.PhaseSeconds();
    const DrawersResult alike = PhaseDrawers(options, 32000, false);
    std::printf("20 drawers, every one taking 32 KB/s (%gs): cut %d, lost %ld (after %.1f s "
                "of draining), chat p50 %.1f s p99 %.1f s max %.1f s, peak RSS %ld MB\n",
                dPhase, alike.nDrawersCut, alike.nLost, alike.dDrainS,
                Percentile(alike.chatMs, 0.5) / 1000, Percentile(alike.chatMs, 0.99) / 1000,
                Max(alike.chatMs) / 1000, alike.nPeakKb / 1024);
    std::fflush(stdout);
}
