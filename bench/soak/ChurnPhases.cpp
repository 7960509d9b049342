// SPDX-License-Identifier: MIT
#include "bench/soak/ChurnPhases.h"

#include "bench/soak/Churner.h"
#include "bench/soak/ServerProcess.h"
#include "bench/soak/SoakStats.h"
#include "bench/soak/Swarm.h"

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace {

using Peers = std::vector<std::unique_ptr<SwarmPeer>>;

// Runs the peers until peers[0] has seen nJoins joins, at most nMaxMs; the ms that took, or -1.
double UntilJoined(Peers& peers, long nJoins, double nMaxMs) {
    const auto t0 = SoakClock::now();
    while (MsSince(t0) < nMaxMs) {
        RunSwarm(peers, 0.01, 0);
        if (peers[0]->nJoinsSeen >= nJoins) {
            return MsSince(t0);
        }
    }
    return -1;
}

// Runs the peers for dSeconds (and their drain) while loop(bStop) runs in a thread of its own.
template <class Loop> void WhileLooping(Peers& peers, double dSeconds, double dDrain, Loop loop) {
    std::atomic<bool> bStop{false};
    std::thread looper([&] { loop(bStop); });
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::duration<double>(dSeconds));
        bStop = true;
    });
    RunSwarm(peers, dSeconds, dDrain, &bStop);
    stopper.join();
    looper.join();
}

void ClassAndLoop(uint16_t nPort, double dSeconds) {
    Peers peers;
    peers.push_back(std::make_unique<SwarmPeer>(0, PeerPlan{"talk", 0, 5}, nPort));
    RunSwarm(peers, 0.2, 0);
    for (int i = 1; i <= 30; ++i) {
        peers.push_back(std::make_unique<SwarmPeer>(i, PeerPlan{"c" + std::to_string(i)}, nPort));
    }
    const double dClassMs = UntilJoined(peers, 30, 5000);
    int nRefused = 0;
    for (const auto& p : peers) {
        nRefused += p->Closed() ? 1 : 0;
    }
    std::atomic<long> nCycles{0};
    const long nJoinsBefore = peers[0]->nJoinsSeen;
    WhileLooping(peers, dSeconds, 5, [&](const std::atomic<bool>& bStop) {
        for (long i = 0; !bStop; ++i) {
            const int fd = Connect(nPort);
            SendAll(fd, "{2}j" + std::to_string(i) + "\r\n");
            ::close(fd);
            ++nCycles;
        }
    });
    const auto& echo = peers[0]->chatMs[0];
    long nLost = 0;
    for (const auto& p : peers) {
        nLost += Missing(*p, peers) + p->nDisorder;
    }
    std::printf("class of 30 joining at once: all 30 joined after %.0f ms, refused %d; "
                "one peer joining and leaving in a loop (%gs): %.0f cycles/s, %.1f joins/s "
                "announced, talker's echo p50 %.1f ms p99 %.1f ms max %.1f ms (%zu/%ld), "
                "honest lost %ld",
                dClassMs, nRefused, dSeconds, static_cast<double>(nCycles) / dSeconds,
                static_cast<double>(peers[0]->nJoinsSeen - nJoinsBefore) / dSeconds,
                Percentile(echo, 0.5), Percentile(echo, 0.99), Max(echo), echo.size(),
                peers[0]->nChatsMade, nLost);
}

constexpr int kReceivers = 60;
constexpr int kChurnAddresses = 10;

// The talker (peers[0]) and the receivers after the churn.
void PrintChurn60(const Peers& peers, const Churner& churner, long nJoins, double dSeconds) {
    const SwarmPeer& talk = *peers[0];
    int nCut = 0;
    long nMissing = 0;
    std::vector<double> atReceivers;
    for (std::size_t i = 1; i < peers.size(); ++i) {
        const SwarmPeer& p = *peers[i];
        const bool bCut = p.Closed() || talk.departures.count(p.plan.szNick) > 0;
        nCut += bCut ? 1 : 0;
        if (bCut && std::getenv("SOAK_DEBUG") != nullptr) {
            const auto gone = talk.departures.find(p.plan.szNick);
            std::fprintf(stderr, "%s cut: closed at %.1f s, announced gone at %.1f s\n",
                         p.plan.szNick.c_str(), p.dClosedAtMs / 1000,
                         gone == talk.departures.end() ? -1 : gone->second / 1000);
        }
        nMissing += bCut ? 0 : Missing(p, peers) + p.nDisorder;
        const auto lines = p.chatMs.find(0);
        if (lines != p.chatMs.end()) {
            atReceivers.insert(atReceivers.end(), lines->second.begin(), lines->second.end());
        }
    }
    const auto echo = talk.chatMs.count(0) ? talk.chatMs.at(0) : std::vector<double>{};
    std::printf("%d receivers at 32 KB/s + talker (5 lines/s) + churner from %d addresses at "
                "the accept gate's limit (%gs): receivers cut %d/%d, talker's echo p50 %.1f ms "
                "p99 %.1f ms (%zu/%ld), churn cycles %.1f/s joined (%.1f/s connected, %ld found "
                "no connection), talker's lines at the receivers p99 %.1f ms, missing %ld",
                kReceivers, kChurnAddresses, dSeconds, nCut, kReceivers, Percentile(echo, 0.5),
                Percentile(echo, 0.99), echo.size(), talk.nChatsMade,
                static_cast<double>(nJoins) / dSeconds,
                static_cast<double>(churner.Cycles()) / dSeconds, churner.Failed(),
                Percentile(atReceivers, 0.99), nMissing);
}

void Churn60(uint16_t nPort, double dSeconds) {
    Peers peers;
    peers.push_back(std::make_unique<SwarmPeer>(0, PeerPlan{"talk", 0, 5}, nPort));
    for (int i = 1; i <= kReceivers; ++i) {
        const PeerPlan plan{"r" + std::to_string(i), 0, 0, 32000, 8192};
        peers.push_back(std::make_unique<SwarmPeer>(i, plan, nPort));
    }
    // More than the gate's burst from one address: the last ones wait their turn.
    if (UntilJoined(peers, kReceivers, 10000) < 0) {
        std::fprintf(stderr, "not every receiver joined\n");
    }
    Churner churner(nPort, kChurnAddresses);
    const long nJoinsBefore = peers[0]->nJoinsSeen;
    WhileLooping(peers, dSeconds, 10, [&](const std::atomic<bool>& bStop) { churner.Run(bStop); });
    // Joins announced late still got through.
    PrintChurn60(peers, churner, peers[0]->nJoinsSeen - nJoinsBefore, dSeconds);
}

} // namespace

void RunChurnPhase(const SoakOptions& options) {
    WithServerToLineEnd(options.szServer,
                        [&](uint16_t nPort) { ClassAndLoop(nPort, options.PhaseSeconds()); });
}

void RunChurn60Phase(const SoakOptions& options) {
    const double dSeconds = options.bShort ? 15 : 30;
    WithServerToLineEnd(
        options.szServer, [&](uint16_t nPort) { Churn60(nPort, dSeconds); }, "server peak RSS");
}
