// Soak: the real server session (the main window in server mode, offscreen) against honest and
// hostile peers on plain sockets, each in a thread of its own.
//
// Honest clients (3) draw 300 records/s and chat 10 lines/s each and read everything; every
// record and chat line of the other honest clients must arrive once and in order. Beside them,
// per scenario: one flooder sending "{10}" records as fast as TCP takes them, or one client
// sending 500 draw lines of 60,000 digits, or one connection sending 10,000 joins; and 20
// non-readers that join with a small receive buffer and never read. Printed per scenario:
// records and chat lines the honest clients lost, honest clients cut off, honest chat echo
// p50/p99 (ms), non-readers cut off and the time until the last one was announced gone, and the
// peak resident memory of the server (VmHWM of a server process started for each scenario), and
// how many flood records per second reached an honest client (the server's relay throughput).
//
// The pacing phases come first (Swarm.h; slow links are readers with a small receive buffer
// reading a fixed number of bytes per second):
// - flood: a flooder, a reader taking 125 KB/s, a talker (5 lines/s) and a fast reader: how late
//   the talker's lines reach each reader, whether all arrive, how fast the flood goes;
// - drawers: 20 drawers at 100 records/s (and one chat line/s each), first alone, then with one
//   more reader taking 32 KB/s: the drawers' chat latency both ways, losses, and when the slow
//   reader was announced gone;
// - alike: the 20 drawers while every one takes only 32 KB/s: cuts, losses, lag, memory;
// - churn: a class of 30 joining at once, then one peer connecting, joining and leaving in a
//   loop as fast as it can while a talker chats: the talker's echo, the joins that got through,
//   the server's memory.
// --short runs 4 s without and 8 s with each hostile peer (under a minute in all), otherwise
// 10 s and 30 s; the pacing phases 8 s or 30 s each. --only pacing|flood|drawers|alike|churn|
// existing runs just those. SOAK_DEBUG=1 also shows the slowest echoes.
//
// Run: QT_QPA_PLATFORM=offscreen ./build/bench/soak/soak [--short] [--only PHASES]
#include "base/AppState.h"
#include "bench/soak/Honest.h"
#include "bench/soak/Swarm.h"
#include "net/NetSession.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum class Hostile { None, Flood, Bulk, Joins };

// Sends its hostile stream as fast as TCP takes it and reads (and drops) all that comes back.
void RunHostile(Hostile kind, uint16_t nPort, Shared& shared, long& nReceived) {
    const int fd = Connect(nPort);
    std::string szOut;
    if (kind == Hostile::Flood) {
        szOut = "{2}flood\r\n";
    } else if (kind == Hostile::Bulk) {
        szOut = "{2}bulk\r\n";
        const std::string szLine = "{10}" + std::string(59999, '0') + "5;6;7;8;9;\r\n";
        for (int i = 0; i < 500; ++i) {
            szOut += szLine;
        }
    } else {
        for (int i = 0; i < 10000; ++i) {
            szOut += "{2}j" + std::to_string(i) + "\r\n";
        }
    }
    SetNonBlocking(fd);
    std::string szFlood;
    for (int i = 0; i < 4096; ++i) {
        szFlood += "{10}1;2;3;4;5;\r\n";
    }
    std::size_t pos = 0;
    char buf[65536];
    while (!shared.bStop) {
        if (pos == szOut.size() && kind == Hostile::Flood) {
            szOut = szFlood;
            pos = 0;
        }
        pollfd pfd{fd, static_cast<short>(POLLIN | (pos < szOut.size() ? POLLOUT : 0)), 0};
        ::poll(&pfd, 1, 10);
        if (pos < szOut.size()) {
            const ssize_t r = ::send(fd, szOut.data() + pos, szOut.size() - pos, MSG_NOSIGNAL);
            if (r > 0) {
                pos += static_cast<std::size_t>(r);
            }
        }
        ssize_t r = 0;
        while ((r = ::recv(fd, buf, sizeof buf, 0)) > 0) {
            nReceived += r;
        }
        if (r == 0) {
            break;
        }
    }
    ::close(fd);
}

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

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return -1;
    }
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

Result RunPeers(Hostile kind, uint16_t nPort, double dSeconds) {
    Shared shared;
    std::vector<std::unique_ptr<Honest>> honest;
    for (int i = 0; i < kHonest; ++i) {
        honest.push_back(std::make_unique<Honest>(i, nPort, shared));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<int> nonReaders;
    if (kind != Hostile::None) {
        for (int i = 0; i < kNonReaders; ++i) {
            const int fd = Connect(nPort, 4096);
            SendAll(fd, "{2}nr" + std::to_string(i) + "\r\n");
            nonReaders.push_back(fd);
        }
    }
    shared.t0 = Clock::now();
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
    Result result;
    result.nLost = shared.nLost;
    result.nHonestCut = shared.nHonestCut;
    result.dP50 = Percentile(shared.echoMs, 0.5);
    result.dP99 = Percentile(shared.echoMs, 0.99);
    if (std::getenv("SOAK_DEBUG") != nullptr) {
        std::sort(shared.echoMs.begin(), shared.echoMs.end());
        for (std::size_t i = shared.echoMs.size() > 12 ? shared.echoMs.size() - 12 : 0;
             i < shared.echoMs.size(); ++i) {
            std::fprintf(stderr, "%.1f ", shared.echoMs[i]);
        }
        std::fprintf(stderr, "(of %zu)\n", shared.echoMs.size());
    }
    result.nCut = static_cast<int>(shared.cutAtMs.size());
    for (const auto& [name, ms] : shared.cutAtMs) {
        result.dLastCutS = std::max(result.dLastCutS, ms / 1000);
    }
    result.nHostileReceived = nHostileReceived;
    result.nFloodRecords = shared.nFloodRecords;
    return result;
}

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

// The server process: one session in server mode on 127.0.0.1; prints its port, runs until its
// input closes, then prints its peak resident memory in KB.
int RunServer(int argc, char** argv) {
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

// Starts a fresh server process (so its memory is the server's alone), runs fn(port) against it,
// and stops it; nPeakKb gets its peak resident memory.
template <class Fn> auto WithServer(Fn fn, long& nPeakKb) {
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
        ::execl("/proc/self/exe", "soak", "--server", static_cast<char*>(nullptr));
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
    auto result = fn(static_cast<uint16_t>(nPort));
    ::close(toServer[1]);
    if (std::fscanf(out, "%ld", &nPeakKb) != 1) {
        nPeakKb = -1;
    }
    std::fclose(out);
    ::waitpid(pid, nullptr, 0);
    return result;
}

// One scenario of the honest clients against a fresh server process.
Result Scenario(Hostile kind, double dSeconds, long& nPeakKb) {
    return WithServer([&](uint16_t nPort) { return RunPeers(kind, nPort, dSeconds); }, nPeakKb);
}

std::vector<double> Joined(const std::vector<std::vector<double>>& parts) {
    std::vector<double> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

double Max(const std::vector<double>& v) {
    return v.empty() ? -1 : *std::max_element(v.begin(), v.end());
}

// Flooder + a 125 KB/s reader + a talker (5 lines/s) + a fast reader.
void PhaseFloodSlowTalker(double dSeconds) {
    long nPeak = 0;
    WithServer(
        [&](uint16_t nPort) {
            std::vector<std::unique_ptr<SwarmPeer>> peers;
            peers.push_back(std::make_unique<SwarmPeer>(0, PeerPlan{"fast"}, nPort));
            peers.push_back(
                std::make_unique<SwarmPeer>(1, PeerPlan{"slow", 0, 0, 125000, 8192}, nPort));
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
            const SwarmPeer& fast = *peers[0];
            const SwarmPeer& slow = *peers[1];
            const SwarmPeer& talk = *peers[2];
            const auto atFast = fast.chatMs.count(2) ? fast.chatMs.at(2) : std::vector<double>{};
            const auto atSlow = slow.chatMs.count(2) ? slow.chatMs.at(2) : std::vector<double>{};
            int nCut = 0;
            for (const auto& p : peers) {
                nCut += p->Closed() || talk.departures.count(p->plan.szNick) ? 1 : 0;
            }
            std::printf("flooder + 125 KB/s reader + talker (5 lines/s) + fast reader (%gs): "
                        "talker's lines at the fast reader %zu/%ld p50 %.1f ms p99 %.1f ms max "
                        "%.1f ms; at the slow reader %zu/%ld p50 %.1f ms p99 %.1f ms max %.1f ms; "
                        "honest cut %d; lost or reordered %ld; flood records reaching the fast "
                        "reader %.0f/s",
                        dSeconds, atFast.size(), talk.nChatsMade, Percentile(atFast, 0.5),
                        Percentile(atFast, 0.99), Max(atFast), atSlow.size(), talk.nChatsMade,
                        Percentile(atSlow, 0.5), Percentile(atSlow, 0.99), Max(atSlow), nCut,
                        Missing(fast, peers) + Missing(slow, peers) + fast.nDisorder +
                            slow.nDisorder,
                        static_cast<double>(fast.nFloodRecords) / dSeconds);
            return 0;
        },
        nPeak);
    std::printf(", peak RSS %ld MB\n", nPeak / 1024);
    std::fflush(stdout);
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

// 20 drawers at 100 records/s and one chat line per second each; nDrawerRate: the bytes per
// second every drawer takes (0: all); bSlowReader: one more reader that takes 32 KB/s.
DrawersResult PhaseDrawers(double dSeconds, long nDrawerRate, bool bSlowReader) {
    constexpr int kDrawers = 20;
    DrawersResult result;
    WithServer(
        [&](uint16_t nPort) {
            std::vector<std::unique_ptr<SwarmPeer>> peers;
            for (int i = 0; i < kDrawers; ++i) {
                peers.push_back(
                    std::make_unique<SwarmPeer>(i,
                                                PeerPlan{"d" + std::to_string(i), 100, 1,
                                                         nDrawerRate, nDrawerRate > 0 ? 8192 : 0},
                                                nPort));
            }
            if (bSlowReader) {
                peers.push_back(std::make_unique<SwarmPeer>(
                    kDrawers, PeerPlan{"slow", 0, 0, 32000, 8192}, nPort));
            }
            RunSwarm(peers, 0.5, 0);
            const auto t0 = SoakClock::now();
            RunSwarm(peers, dSeconds, 60);
            result.dDrainS = MsSince(t0) / 1000 - dSeconds;
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
            if (bSlowReader) {
                result.dSlowLagMaxMs = Max(Joined([&] {
                    std::vector<std::vector<double>> parts;
                    for (const auto& [k, v] : peers.back()->chatMs) {
                        parts.push_back(v);
                    }
                    return parts;
                }()));
            }
            return 0;
        },
        result.nPeakKb);
    return result;
}

// One peer joining and leaving in a loop while a talker chats; before it, a class of 30 joins
// within a second from the same address.
void PhaseChurn(double dSeconds) {
    long nPeak = 0;
    WithServer(
        [&](uint16_t nPort) {
            std::vector<std::unique_ptr<SwarmPeer>> peers;
            peers.push_back(std::make_unique<SwarmPeer>(0, PeerPlan{"talk", 0, 5}, nPort));
            RunSwarm(peers, 0.2, 0);
            const auto tClass = SoakClock::now();
            for (int i = 1; i <= 30; ++i) {
                peers.push_back(
                    std::make_unique<SwarmPeer>(i, PeerPlan{"c" + std::to_string(i)}, nPort));
            }
            double dClassMs = -1;
            while (MsSince(tClass) < 5000 && dClassMs < 0) {
                RunSwarm(peers, 0.01, 0);
                if (peers[0]->nJoinsSeen >= 30) {
                    dClassMs = MsSince(tClass);
                }
            }
            int nRefused = 0;
            for (const auto& p : peers) {
                nRefused += p->Closed() ? 1 : 0;
            }
            std::atomic<bool> bStop{false};
            std::atomic<long> nCycles{0};
            std::thread looper([&] {
                for (long i = 0; !bStop; ++i) {
                    const int fd = Connect(nPort);
                    SendAll(fd, "{2}j" + std::to_string(i) + "\r\n");
                    ::close(fd);
                    ++nCycles;
                }
            });
            const long nJoinsBefore = peers[0]->nJoinsSeen;
            std::thread stopper([&] {
                std::this_thread::sleep_for(std::chrono::duration<double>(dSeconds));
                bStop = true;
            });
            RunSwarm(peers, dSeconds, 5, &bStop);
            stopper.join();
            looper.join();
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
            return 0;
        },
        nPeak);
    std::printf(", peak RSS %ld MB\n", nPeak / 1024);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--server") {
        return RunServer(argc, argv);
    }
    bool bShort = false;
    std::string szOnly;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--short") {
            bShort = true;
        } else if (arg == "--only" && i + 1 < argc) {
            szOnly = argv[++i];
        }
    }
    const double dBase = bShort ? 4 : 10;
    const double dPhase = bShort ? 8 : 30;

    const auto Runs = [&szOnly](const char* szPhase) {
        return szOnly.empty() || szOnly == "pacing" || szOnly == szPhase;
    };
    if (Runs("flood")) {
        PhaseFloodSlowTalker(dPhase);
    }
    if (Runs("drawers")) {
        const DrawersResult plain = PhaseDrawers(dPhase, 0, false);
        const DrawersResult slow = PhaseDrawers(dPhase, 0, true);
        std::printf("20 drawers at 100 records/s (%gs): chat p50 %.1f ms p99 %.1f ms, lost %ld, "
                    "drawers cut %d, peak RSS %ld MB\n",
                    dPhase, Percentile(plain.chatMs, 0.5), Percentile(plain.chatMs, 0.99),
                    plain.nLost, plain.nDrawersCut, plain.nPeakKb / 1024);
        std::printf("20 drawers + one 32 KB/s reader (%gs): drawers' chat p50 %.1f ms p99 %.1f "
                    "ms (%.2fx without the reader), lost %ld, drawers cut %d, slow reader "
                    "announced gone after %.1f s (its largest chat lag %.1f s), peak RSS %ld MB\n",
                    dPhase, Percentile(slow.chatMs, 0.5), Percentile(slow.chatMs, 0.99),
                    Percentile(slow.chatMs, 0.99) / std::max(Percentile(plain.chatMs, 0.99), 0.001),
                    slow.nLost, slow.nDrawersCut, slow.dSlowCutS, slow.dSlowLagMaxMs / 1000,
                    slow.nPeakKb / 1024);
        std::fflush(stdout);
    }
    if (Runs("alike")) {
        const DrawersResult alike = PhaseDrawers(dPhase, 32000, false);
        std::printf("20 drawers, every one taking 32 KB/s (%gs): cut %d, lost %ld (after %.1f s "
                    "of draining), chat p50 %.1f s p99 %.1f s max %.1f s, peak RSS %ld MB\n",
                    dPhase, alike.nDrawersCut, alike.nLost, alike.dDrainS,
                    Percentile(alike.chatMs, 0.5) / 1000, Percentile(alike.chatMs, 0.99) / 1000,
                    Max(alike.chatMs) / 1000, alike.nPeakKb / 1024);
        std::fflush(stdout);
    }
    if (Runs("churn")) {
        PhaseChurn(dPhase);
    }
    if (!szOnly.empty() && szOnly != "existing") {
        return 0;
    }

    long nPeak = 0;
    const Result base = Scenario(Hostile::None, dBase, nPeak);
    std::printf("no flood (%gs): honest lost %ld, honest cut %d, echo p50 %.1f ms p99 %.1f ms, "
                "peak RSS %ld MB\n",
                dBase, base.nLost, base.nHonestCut, base.dP50, base.dP99, nPeak / 1024);
    const std::pair<Hostile, const char*> kScenarios[] = {
        {Hostile::Flood, "flooder"},
        {Hostile::Bulk, "500 x 60,000-digit lines"},
        {Hostile::Joins, "10,000 joins on one connection"}};
    for (const auto& [kind, name] : kScenarios) {
        const Result r = Scenario(kind, dPhase, nPeak);
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
    return 0;
}
