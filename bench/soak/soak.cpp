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
// --short runs 4 s without and 8 s with each hostile peer (under a minute in all), otherwise
// 10 s and 30 s. SOAK_DEBUG=1 also shows the slowest echoes.
//
// Run: QT_QPA_PLATFORM=offscreen ./build/bench/soak/soak [--short]
#include "base/AppState.h"
#include "bench/soak/Honest.h"
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

// One scenario against a fresh server process, so its memory is the server's alone.
Result Scenario(Hostile kind, double dSeconds, long& nPeakKb) {
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
    const Result result = RunPeers(kind, static_cast<uint16_t>(nPort), dSeconds);
    ::close(toServer[1]);
    if (std::fscanf(out, "%ld", &nPeakKb) != 1) {
        nPeakKb = -1;
    }
    std::fclose(out);
    ::waitpid(pid, nullptr, 0);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--server") {
        return RunServer(argc, argv);
    }
    const bool bShort = argc > 1 && std::string(argv[1]) == "--short";
    const double dBase = bShort ? 4 : 10;
    const double dPhase = bShort ? 8 : 30;

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
