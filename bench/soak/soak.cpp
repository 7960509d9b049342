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

constexpr int kHonest = 3;
constexpr int kNonReaders = 20;
constexpr int kDrawsPerSecond = 300;
constexpr int kChatsPerSecond = 10;

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

int Connect(uint16_t nPort, int nRcvBuf = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (nRcvBuf > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &nRcvBuf, sizeof nRcvBuf);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(nPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::perror("connect");
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void SendAll(int fd, const std::string& szData) {
    std::size_t n = 0;
    while (n < szData.size()) {
        const ssize_t r = ::send(fd, szData.data() + n, szData.size() - n, MSG_NOSIGNAL);
        if (r <= 0) {
            return;
        }
        n += static_cast<std::size_t>(r);
    }
}

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// What the honest clients see, shared between their threads.
struct Shared {
    std::atomic<bool> bStop{false};
    std::array<std::atomic<long>, kHonest> drawsSent{};
    std::array<std::atomic<long>, kHonest> chatsSent{};
    std::mutex mutex;
    std::vector<double> echoMs;
    std::map<std::string, double> cutAtMs; // non-reader name -> when its departure was announced
    long nLost = 0;         // records and chat lines missing or out of order, summed over receivers
    int nHonestCut = 0;     // honest clients whose connection closed
    long nFloodRecords = 0; // flood records that reached an honest client (the most of them)
    Clock::time_point t0 = Clock::now();
};

class Honest {
public:
    Honest(int id, uint16_t nPort, Shared& shared) : id_(id), shared_(shared) {
        fd_ = Connect(nPort);
        SendAll(fd_, "{2}h" + std::to_string(id_) + "\r\n");
        SetNonBlocking(fd_);
    }
    ~Honest() { ::close(fd_); }

    void Run(double dSeconds) {
        const auto tStart = Clock::now();
        long nDraw = 0;
        long nChat = 0;
        while (!bClosed_) {
            const double ms = MsSince(tStart);
            const bool bSending = ms < dSeconds * 1000 && !shared_.bStop;
            if (bSending) {
                std::string szOut;
                for (; nDraw < static_cast<long>(ms * kDrawsPerSecond / 1000); ++nDraw) {
                    szOut += "{10}" + std::to_string(nDraw % 30000) + ";" +
                             std::to_string(nDraw / 30000) + ";" + std::to_string(1000 + id_) +
                             ";0;" + std::to_string(id_) + ";\r\n";
                }
                for (; nChat < static_cast<long>(ms * kChatsPerSecond / 1000); ++nChat) {
                    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        Clock::now().time_since_epoch())
                                        .count();
                    szOut += "{1}{h" + std::to_string(id_) + "}c" + std::to_string(nChat) + "t" +
                             std::to_string(ns) + "\r\n";
                }
                out_ += szOut;
                shared_.drawsSent[static_cast<std::size_t>(id_)] = nDraw;
                shared_.chatsSent[static_cast<std::size_t>(id_)] = nChat;
            } else if (Complete() || ms > dSeconds * 1000 + 3000) {
                break;
            }
            Pump();
        }
        std::lock_guard lock(shared_.mutex);
        for (int k = 0; k < kHonest; ++k) {
            if (k != id_) {
                shared_.nLost += shared_.drawsSent[static_cast<std::size_t>(k)] - draws_[k];
            }
            shared_.nLost += shared_.chatsSent[static_cast<std::size_t>(k)] - chats_[k];
        }
        shared_.nLost += nDisorder_;
        shared_.nHonestCut += bClosed_ ? 1 : 0;
        shared_.echoMs.insert(shared_.echoMs.end(), echo_.begin(), echo_.end());
        shared_.nFloodRecords = std::max(shared_.nFloodRecords, nFloodRecords_);
    }

private:
    bool Complete() const {
        for (int k = 0; k < kHonest; ++k) {
            if ((k != id_ && draws_[k] < shared_.drawsSent[static_cast<std::size_t>(k)]) ||
                chats_[k] < shared_.chatsSent[static_cast<std::size_t>(k)]) {
                return false;
            }
        }
        return true;
    }

    void Pump() {
        pollfd pfd{fd_, static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0};
        ::poll(&pfd, 1, 1);
        if (!out_.empty()) {
            const ssize_t r = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
            if (r > 0) {
                out_.erase(0, static_cast<std::size_t>(r));
            }
        }
        char buf[65536];
        for (;;) {
            const ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
            if (r == 0 || (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                bClosed_ = true;
                return;
            }
            if (r < 0) {
                break;
            }
            in_.append(buf, static_cast<std::size_t>(r));
        }
        std::size_t pos = 0;
        for (;;) {
            const std::size_t end = in_.find("\r\n", pos);
            if (end == std::string::npos) {
                break;
            }
            Line(std::string_view(in_).substr(pos, end - pos));
            pos = end + 2;
        }
        in_.erase(0, pos);
    }

    void Line(std::string_view line) {
        if (line.starts_with("{10}")) {
            long f[5] = {};
            const char* p = line.data() + 4;
            const char* const end = line.data() + line.size();
            for (long& field : f) {
                const auto [next, ec] = std::from_chars(p, end, field);
                if (ec != std::errc() || next == end || *next != ';') {
                    return;
                }
                p = next + 1;
            }
            if (f[2] == 3) {
                ++nFloodRecords_;
            }
            if (f[2] >= 1000 && f[2] < 1000 + kHonest) {
                const int k = static_cast<int>(f[2] - 1000);
                const long seq = f[0] + f[1] * 30000;
                if (seq == draws_[k]) {
                    ++draws_[k];
                } else {
                    ++nDisorder_;
                    draws_[k] = seq + 1;
                }
            }
        } else if (line.starts_with("{1}{h")) {
            const int k = line[5] - '0';
            const std::size_t c = line.find("}c");
            const std::size_t t = line.find('t', c);
            if (k < 0 || k >= kHonest || c == std::string_view::npos ||
                t == std::string_view::npos) {
                return;
            }
            const long seq = std::atol(std::string(line.substr(c + 2, t - c - 2)).c_str());
            if (seq == chats_[k]) {
                ++chats_[k];
            } else {
                ++nDisorder_;
                chats_[k] = seq + 1;
            }
            if (k == id_) {
                const long long ns = std::atoll(std::string(line.substr(t + 1)).c_str());
                const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          Clock::now().time_since_epoch())
                                          .count();
                echo_.push_back(static_cast<double>(now - ns) / 1e6);
                if (echo_.back() > 40 && std::getenv("SOAK_DEBUG") != nullptr) {
                    std::fprintf(stderr, "slow echo %.1f ms at %.2f s\n", echo_.back(),
                                 MsSince(shared_.t0) / 1000);
                }
            }
        } else if (line.starts_with("{9}nr") && line.ends_with(" has been disconnected!")) {
            const std::string name(line.substr(3, line.find(' ') - 3));
            std::lock_guard lock(shared_.mutex);
            if (!shared_.cutAtMs.contains(name)) {
                shared_.cutAtMs[name] = MsSince(shared_.t0);
            }
        }
    }

    int id_;
    Shared& shared_;
    int fd_;
    bool bClosed_ = false;
    std::string in_;
    std::string out_;
    long draws_[kHonest] = {};
    long chats_[kHonest] = {};
    long nDisorder_ = 0;
    long nFloodRecords_ = 0;
    std::vector<double> echo_;
};

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
