// What a peer's lines cost the real windows: the program's session windows (zaplo_bench_window),
// run offscreen as separate processes, against plain-socket peers and a plain-socket host.
//
//   box_bench <path to zaplo_bench_window> [--short] [phase ...]
// Phases (all when none is named): lines memory flood longlines churn joins lists.
// Each figure is printed with the window binary it was taken from, so a run against the old
// binary and one against the new give the before and after figures.
//
//   lines     one chat line of 25,000 / 100,000 / 256 KiB characters without a break
//             opportunity (and other hostile characters), then a short line: on a server window
//             the time until the line's echo comes back; on a client window the main thread's
//             CPU time until it is idle again
//   memory    a client window's resident memory per byte of status text received
//   flood     one peer floods 1,000-byte chat lines; another's echo p99; peak RSS of the server
//             window and a client window
//   longlines one peer sends a 256 KiB unbreakable chat line every 2 s; the same figures
//   churn     one peer joins and leaves in a loop; the server window's peak RSS
//   joins     a hostile host sends 400,000 joins in 10 s to a client window
//   lists     a hostile host sends a 50,000-name user list 200 times
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string g_window;
bool g_short = false;

// ---- processes ----

struct Window {
    pid_t pid = -1;
    uint16_t nPort = 0;
};

// Starts the window binary with args; returns its pid and its first line of output.
Window Start(const std::vector<std::string>& args, std::string* firstLine) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> all{g_window};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    Window w;
    if (posix_spawn(&w.pid, g_window.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string line;
    char ch = 0;
    while (read(pipeFds[0], &ch, 1) == 1 && ch != '\n') {
        line += ch;
    }
    close(pipeFds[0]);
    if (firstLine) {
        *firstLine = line;
    }
    return w;
}

// A server window on a port that a client window can be given (1 to 32767).
Window StartServer() {
    static std::mt19937 rng(static_cast<unsigned>(getpid()));
    for (int tries = 0; tries < 50; ++tries) {
        std::string line;
        const std::string port = std::to_string(20000 + rng() % 12000);
        Window w = Start({"server", port}, &line);
        w.nPort = static_cast<uint16_t>(std::atoi(line.c_str()));
        if (w.nPort != 0) {
            return w;
        }
        waitpid(w.pid, nullptr, 0); // the port was taken: the window has ended
    }
    std::fprintf(stderr, "server window did not start\n");
    std::exit(1);
}

Window StartClient(uint16_t nPort) {
    std::string line;
    Window w = Start({"client", std::to_string(nPort)}, &line);
    if (line != "connected") {
        std::fprintf(stderr, "client window did not start\n");
        std::exit(1);
    }
    return w;
}

void Stop(Window& w) {
    if (w.pid > 0) {
        kill(w.pid, SIGKILL);
        waitpid(w.pid, nullptr, 0);
        w.pid = -1;
    }
}

double RssMb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            in >> kb;
            return kb / 1024.0;
        }
        std::getline(in, key);
    }
    return 0;
}

// CPU time of the main (window) thread, in ms.
double CpuMs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    double ns = 0;
    in >> ns;
    return ns / 1e6;
}

// Waits until the window's main thread has been idle (under 3 ms CPU in 150 ms); returns the
// wall time from t0 to the start of that idle stretch. Gives up after nMaxMs.
double WaitIdle(pid_t pid, Clock::time_point t0, double nMaxMs = 120000) {
    for (;;) {
        const double before = CpuMs(pid);
        const double at = MsSince(t0);
        SleepMs(150);
        if (CpuMs(pid) - before < 3.0 || at > nMaxMs) {
            return at;
        }
    }
}

// ---- sockets ----

int Connect(uint16_t nPort) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(nPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void SendAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

// A listening socket on a port the client window accepts (1 to 32767).
int ListenLow(uint16_t* nPort) {
    std::mt19937 rng(static_cast<unsigned>(getpid()));
    for (int tries = 0; tries < 200; ++tries) {
        const auto port = static_cast<uint16_t>(20000 + rng() % 12000);
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(fd, 4) == 0) {
            *nPort = port;
            return fd;
        }
        close(fd);
    }
    std::fprintf(stderr, "no port to listen on\n");
    std::exit(1);
}

// A peer that reads what it gets, line by line.
struct Peer {
    int fd = -1;
    std::string buf;
    // Reads what is there (waiting up to nWaitMs); calls onLine for each whole line.
    template <typename F> void Pump(int nWaitMs, F&& onLine) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, nWaitMs) <= 0) {
            return;
        }
        char chunk[65536];
        for (;;) {
            const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n <= 0) {
                break;
            }
            buf.append(chunk, static_cast<std::size_t>(n));
        }
        std::size_t pos = 0;
        for (std::size_t end; (end = buf.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
            onLine(std::string_view(buf).substr(pos, end - pos));
        }
        buf.erase(0, pos);
    }
    // Waits for a line that starts with prefix; returns ms waited or -1.
    double WaitLine(const std::string& prefix, Clock::time_point t0, double nMaxMs) {
        bool got = false;
        while (!got && MsSince(t0) < nMaxMs) {
            Pump(50, [&](std::string_view line) {
                if (line.substr(0, prefix.size()) == prefix) {
                    got = true;
                }
            });
        }
        return got ? MsSince(t0) : -1;
    }
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return -1;
    }
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// ---- line contents ----

std::string Unbreakable(std::size_t n) {
    return std::string(n, 'W');
}

std::string Repeat(const std::string& unit, std::size_t nBytes) {
    std::string s;
    while (s.size() + unit.size() <= nBytes) {
        s += unit;
    }
    return s;
}

std::string Words(std::size_t nBytes) {
    return Repeat("lorem ipsum dolor sit amet ", nBytes);
}

constexpr std::size_t kMaxLine = 256 * 1024; // the receive buffer's line bound
constexpr double kRssLimitMb = 3000;         // a phase stops before a window exhausts the machine

// ---- phases ----

void Lines() {
    std::printf("\n# lines: one chat line, then a short one (server: ms to echo; client: main "
                "thread CPU ms until idle)\n");
    struct Kind {
        const char* name;
        std::string (*make)(std::size_t);
    };
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
            if (g_short && n == 100000) {
                continue;
            }
            // Server window: echo of the line, then of a short one.
            Window server = StartServer();
            Peer talker{Connect(server.nPort), {}};
            SendAll(talker.fd, "{2}talker\r\n");
            (void)talker.WaitLine("{8}", Clock::now(), 5000);
            const std::string payload = "{bad}" + kind.make(n);
            auto t0 = Clock::now();
            SendAll(talker.fd, "{1}" + payload + "\r\n");
            const double first = talker.WaitLine("{1}{bad}", t0, 120000);
            t0 = Clock::now();
            SendAll(talker.fd, "{1}{bad}next\r\n");
            const double next = talker.WaitLine("{1}{bad}next", t0, 120000);
            close(talker.fd);
            Stop(server);

            // Client window: a hostile host sends the line; CPU until idle.
            uint16_t nPort = 0;
            const int lfd = ListenLow(&nPort);
            Window client = StartClient(nPort);
            Peer host{accept(lfd, nullptr, nullptr), {}};
            (void)host.WaitLine("{2}", Clock::now(), 5000);
            SleepMs(300);
            (void)WaitIdle(client.pid, Clock::now());
            double cpu0 = CpuMs(client.pid);
            auto c0 = Clock::now();
            SendAll(host.fd, "{1}" + payload + "\r\n");
            (void)WaitIdle(client.pid, c0);
            const double cFirst = CpuMs(client.pid) - cpu0;
            cpu0 = CpuMs(client.pid);
            c0 = Clock::now();
            SendAll(host.fd, "{1}{bad}next\r\n");
            (void)WaitIdle(client.pid, c0);
            const double cNext = CpuMs(client.pid) - cpu0;
            const double rss = RssMb(client.pid);
            close(host.fd);
            close(lfd);
            Stop(client);
            std::printf("%-16s %7zu bytes: server echo %8.1f ms, next %6.1f ms | client cpu %8.1f "
                        "ms, next %6.1f ms, rss %5.0f MB\n",
                        kind.name, payload.size(), first, next, cFirst, cNext, rss);
            std::fflush(stdout);
        }
    }
}

void Memory() {
    std::printf("\n# memory: a client window's RSS per byte of status text received\n");
    for (std::size_t total : {std::size_t{4} << 20, std::size_t{32} << 20}) {
        if (g_short && total > (4U << 20)) {
            continue;
        }
        uint16_t nPort = 0;
        const int lfd = ListenLow(&nPort);
        Window client = StartClient(nPort);
        Peer host{accept(lfd, nullptr, nullptr), {}};
        (void)host.WaitLine("{2}", Clock::now(), 5000);
        SleepMs(300);
        (void)WaitIdle(client.pid, Clock::now());
        const double rss0 = RssMb(client.pid);
        const std::string line = "{9}" + Words(1000) + "\r\n";
        std::string block;
        for (int i = 0; i < 64; ++i) {
            block += line;
        }
        std::size_t sent = 0;
        const auto t0 = Clock::now();
        double peak = rss0;
        while (sent < total) {
            SendAll(host.fd, block);
            sent += block.size();
            peak = std::max(peak, RssMb(client.pid));
        }
        (void)WaitIdle(client.pid, t0);
        const double rss1 = RssMb(client.pid);
        peak = std::max(peak, rss1);
        std::printf("%5.1f MB of status text: rss %5.1f -> %6.1f MB (peak %6.1f), %.1f bytes of "
                    "memory per byte received, %.1f s to take it\n",
                    static_cast<double>(sent) / 1048576.0, rss0, rss1, peak,
                    (rss1 - rss0) * 1048576.0 / static_cast<double>(sent), MsSince(t0) / 1000.0);
        std::fflush(stdout);
        close(host.fd);
        close(lfd);
        Stop(client);
    }
}

// A server window, a client window and a talker; `hostile` does its thing for nSeconds while
// the talker sends a chat line every 50 ms and times its echo.
template <typename Hostile> void Session(const char* title, int nSeconds, Hostile&& hostile) {
    Window server = StartServer();
    Window client = StartClient(server.nPort);
    Peer talker{Connect(server.nPort), {}};
    SendAll(talker.fd, "{2}talker\r\n");
    (void)talker.WaitLine("{8}", Clock::now(), 5000);
    std::vector<double> echoes;
    double peakServer = 0;
    double peakClient = 0;
    int nLost = 0;
    const auto t0 = Clock::now();
    auto nextPing = t0;
    auto nextRss = t0;
    int seq = 0;
    std::vector<Clock::time_point> sentAt;
    std::set<int> waiting;
    while (MsSince(t0) < nSeconds * 1000.0) {
        hostile(server.nPort, MsSince(t0));
        const auto now = Clock::now();
        if (now >= nextPing) {
            sentAt.push_back(now);
            waiting.insert(seq);
            SendAll(talker.fd, "{1}{talker}ping" + std::to_string(seq++) + "\r\n");
            nextPing = now + std::chrono::milliseconds(50);
        }
        if (now >= nextRss) {
            peakServer = std::max(peakServer, RssMb(server.pid));
            peakClient = std::max(peakClient, RssMb(client.pid));
            nextRss = now + std::chrono::milliseconds(100);
            if (std::max(peakServer, peakClient) > kRssLimitMb) {
                std::printf("  (stopped after %.1f s: a window passed %.0f MB)\n",
                            MsSince(t0) / 1000.0, kRssLimitMb);
                break;
            }
        }
        talker.Pump(0, [&](std::string_view line) {
            const std::string_view mark = "{1}{talker}ping";
            if (line.substr(0, mark.size()) == mark) {
                const int n = std::atoi(std::string(line.substr(mark.size())).c_str());
                if (waiting.erase(n) > 0) {
                    echoes.push_back(std::chrono::duration<double, std::milli>(
                                         Clock::now() - sentAt[static_cast<std::size_t>(n)])
                                         .count());
                }
            }
        });
    }
    // Echoes still out count as the time they have waited so far.
    for (int n : waiting) {
        echoes.push_back(MsSince(sentAt[static_cast<std::size_t>(n)]));
        ++nLost;
    }
    std::printf("%-34s %2d s: echo p50 %7.1f p99 %8.1f max %8.1f ms (%zu pings, %d unanswered) | "
                "peak rss server %6.1f client %6.1f MB\n",
                title, nSeconds, Percentile(echoes, 0.5), Percentile(echoes, 0.99),
                Percentile(echoes, 1.0), echoes.size(), nLost, peakServer, peakClient);
    std::fflush(stdout);
    close(talker.fd);
    Stop(client);
    Stop(server);
}

void Flood() {
    std::printf("\n# flood: one peer sends 1,000-byte chat lines as fast as it can\n");
    int fd = -1;
    std::string block;
    for (int i = 0; i < 32; ++i) {
        block += "{1}{flood}" + Words(990) + "\r\n";
    }
    Session("chat flood", g_short ? 8 : 30, [&](uint16_t nPort, double) {
        if (fd < 0) {
            fd = Connect(nPort);
            SendAll(fd, "{2}flood\r\n");
        }
        // Read and drop what comes back, then send a block if the socket takes it.
        char sink[65536];
        while (recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 1) > 0 && (p.revents & POLLOUT)) {
            const ssize_t n = send(fd, block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            (void)n; // a partial block only spoils one line, which the window skips
        }
    });
    close(fd);
}

void LongLines() {
    std::printf("\n# longlines: one peer sends a 256 KiB unbreakable chat line every 2 s\n");
    int fd = -1;
    double next = 0;
    const std::string line = "{1}{long}" + Unbreakable(kMaxLine - 16) + "\r\n";
    Session("256 KiB line every 2 s", g_short ? 8 : 30, [&](uint16_t nPort, double ms) {
        if (fd < 0) {
            fd = Connect(nPort);
            SendAll(fd, "{2}long\r\n");
        }
        char sink[65536];
        while (recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
        if (ms >= next) {
            SendAll(fd, line);
            next += 2000;
        }
    });
    close(fd);
}

void Churn() {
    std::printf("\n# churn: one peer joins and leaves in a loop\n");
    int cycles = 0;
    Session("join/leave loop", g_short ? 8 : 30, [&](uint16_t nPort, double) {
        const int fd = Connect(nPort);
        SendAll(fd, "{2}churn" + std::to_string(cycles) + "\r\n");
        close(fd);
        ++cycles;
    });
    std::printf("  (%d join/leave cycles)\n", cycles);
}

// A client window against this program as its host.
struct Hostile {
    int lfd = -1;
    Window client;
    Peer host{-1, {}};
    Hostile() {
        uint16_t nPort = 0;
        lfd = ListenLow(&nPort);
        client = StartClient(nPort);
        host.fd = accept(lfd, nullptr, nullptr);
        (void)host.WaitLine("{2}", Clock::now(), 5000);
        SleepMs(300);
        (void)WaitIdle(client.pid, Clock::now());
    }
    ~Hostile() {
        close(host.fd);
        close(lfd);
        Stop(client);
    }
};

void Joins() {
    std::printf("\n# joins: a hostile host sends 400,000 joins in 10 s to a client window\n");
    Hostile h;
    const int nJoins = g_short ? 100'000 : 400'000;
    const int nSeconds = g_short ? 3 : 10;
    const auto t0 = Clock::now();
    double peak = 0;
    const double cpu0 = CpuMs(h.client.pid);
    for (int i = 0; i < nJoins;) {
        std::string block;
        for (int k = 0; k < 1000 && i < nJoins; ++k, ++i) {
            block += "{2}u" + std::to_string(i) + "\r\n";
        }
        SendAll(h.host.fd, block);
        const double due = static_cast<double>(i) * nSeconds * 1000.0 / nJoins;
        while (MsSince(t0) < due) {
            SleepMs(1);
        }
        peak = std::max(peak, RssMb(h.client.pid));
    }
    const double sent = MsSince(t0);
    const double idle = WaitIdle(h.client.pid, t0, 300000);
    peak = std::max(peak, RssMb(h.client.pid));
    std::printf("%d joins sent in %.1f s: client busy until %.1f s (main thread cpu %.1f s), peak "
                "rss %.1f MB\n",
                nJoins, sent / 1000.0, idle / 1000.0, (CpuMs(h.client.pid) - cpu0) / 1000.0, peak);
    std::fflush(stdout);
}

void Lists() {
    std::printf("\n# lists: a hostile host sends a 50,000-name user list 200 times\n");
    Hostile h;
    const char* digits = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string line = "{8}";
    for (int i = 0; i < 50'000; ++i) {
        line += digits[i % 62];
        line += digits[(i / 62) % 62];
        line += digits[(i / 3844) % 62];
        line += ';';
    }
    line += "\r\n";
    const int nTimes = g_short ? 50 : 200;
    const auto t0 = Clock::now();
    double peak = 0;
    const double cpu0 = CpuMs(h.client.pid);
    for (int i = 0; i < nTimes; ++i) {
        SendAll(h.host.fd, line);
        peak = std::max(peak, RssMb(h.client.pid));
    }
    const double sent = MsSince(t0);
    const double idle = WaitIdle(h.client.pid, t0, 300000);
    peak = std::max(peak, RssMb(h.client.pid));
    std::printf("%d lists of 50,000 names (%zu bytes each) sent in %.1f s: client busy until "
                "%.1f s (main thread cpu %.1f s), peak rss %.1f MB\n",
                nTimes, line.size(), sent / 1000.0, idle / 1000.0,
                (CpuMs(h.client.pid) - cpu0) / 1000.0, peak);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <zaplo_bench_window> [--short] [phase ...]\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    g_window = argv[1];
    std::vector<std::string> phases;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0) {
            g_short = true;
        } else {
            phases.emplace_back(argv[i]);
        }
    }
    if (phases.empty()) {
        phases = {"lines", "memory", "flood", "longlines", "churn", "joins", "lists"};
    }
    std::printf("window binary: %s%s\n", g_window.c_str(), g_short ? " (short)" : "");
    for (const std::string& phase : phases) {
        if (phase == "lines") {
            Lines();
        } else if (phase == "memory") {
            Memory();
        } else if (phase == "flood") {
            Flood();
        } else if (phase == "longlines") {
            LongLines();
        } else if (phase == "churn") {
            Churn();
        } else if (phase == "joins") {
            Joins();
        } else if (phase == "lists") {
            Lists();
        } else {
            std::fprintf(stderr, "unknown phase %s\n", phase.c_str());
            return 2;
        }
    }
    return 0;
}
