// SPDX-License-Identifier: MIT
#include "bench/bot/BotSwarm.h"

#include "bench/bot/BotTls.h"
#include "bench/bot/MonoClock.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void Die(const char* what) {
    std::fprintf(stderr, "bot: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

} // namespace

BotSwarm::BotSwarm(const BotOptions& opt) : opt_(opt), events_(512) {
    const size_t C = static_cast<size_t>(opt_.clients);
    epoll_ = epoll_create1(0);
    bots_.resize(C);
    for (size_t i = 0; i < C; ++i) {
        bots_[i].id = static_cast<int>(i);
        bots_[i].epoll = epoll_;
        bots_[i].mqtt = opt_.mqtt;
        bots_[i].from.resize(C);
        bots_[i].in.resize(256 * 1024);
    }
    if (opt_.mode == "burst") {
        opt_.window = 0; // no window: each sender goes as fast as its socket takes
    } else if (opt_.window < 0) {
        opt_.window = std::max<int64_t>(16, 20000 / opt_.clients);
    }
    if (opt_.readers < 0) {
        opt_.readers = opt_.clients;
    }
    stats_.sampleMask = opt_.mode == "paced" ? 0 : 63;
    if (opt_.mode == "paced") {
        // Every paced delivery is a sample: room for them all, touched now, so the vector never
        // grows in the timed phase. Growing it there copies tens of MB and faults in fresh pages,
        // which held the bot (and every latency in flight) for about 100 ms once per run.
        const double nExpected = static_cast<double>(opt_.readers) * static_cast<double>(C - 1) *
                                 opt_.rate * opt_.seconds * 1.1;
        stats_.samples.resize(static_cast<size_t>(std::min(nExpected, 6e7)) + 1024);
        stats_.samples.clear();
    }
}

int BotSwarm::Run() {
    if (opt_.tls && !BotTls::Available()) {
        std::fprintf(stderr, "bot: built without OpenSSL, no --tls\n");
        return 2;
    }
    if (opt_.mode == "join") {
        return RunJoins();
    }
    Connect();
    if (!Sync(opt_.clients > 100 ? 60 : 20)) {
        const size_t C = bots_.size();
        std::fprintf(
            stderr,
            "bot: not every client saw every other within the time limit (%d of %zu pairs)\n",
            stats_.pairsSynced, C * (C - 1));
        return 4;
    }
    // Let the join answers and the last sync records drain before measuring.
    for (int64_t until = NowNs() + 100000000LL; NowNs() < until;) {
        Poll(10);
    }
    if (opt_.mode == "idle") {
        std::printf("JOINED\n");
        std::fflush(stdout);
        for (;;) {
            Poll(-1);
        }
    }
    for (Bot& b : bots_) {
        b.discard = b.id >= opt_.readers;
    }
    const int64_t t0 = NowNs();
    const int64_t tSendEnd = SendFor(t0);
    const int64_t nExpected = Drain();
    stats_.PrintResult(opt_, bots_, nExpected, t0, tSendEnd);
    return 0;
}

void BotSwarm::PollNs(int64_t timeoutNs) {
    timespec ts{timeoutNs / 1000000000LL, timeoutNs % 1000000000LL};
    int n = epoll_pwait2(epoll_, events_.data(), static_cast<int>(events_.size()),
                         timeoutNs < 0 ? nullptr : &ts, nullptr);
    if (n < 0 && errno != EINTR) {
        Die("epoll_wait");
    }
    for (int i = 0; i < n; ++i) {
        Bot& b = bots_[events_[i].data.u32];
        if (events_[i].events & EPOLLIN) {
            b.OnReadable(stats_);
        }
        if (events_[i].events & EPOLLOUT) {
            b.Flush();
        }
        if ((events_[i].events & (EPOLLERR | EPOLLHUP)) && !(events_[i].events & EPOLLIN)) {
            std::fprintf(stderr, "bot %d: connection error\n", b.id);
            std::exit(3);
        }
    }
}

void BotSwarm::Poll(int timeoutMs) {
    PollNs(timeoutMs < 0 ? -1 : timeoutMs * 1000000LL);
}

// A protected session challenges at once: its first line, read on the still blocking socket,
// is answered before the join.
void BotSwarm::AnswerChallenge(Bot& b) {
    std::string szLine;
    char ch = 0;
    while (szLine.size() < 256 && !szLine.ends_with("\r\n")) {
        const ssize_t n = b.ssl != nullptr ? BotTls::Recv(b.ssl, &ch, 1) : recv(b.fd, &ch, 1, 0);
        if (n <= 0) {
            std::fprintf(stderr, "bot %d: no challenge from the server\n", b.id);
            std::exit(3);
        }
        szLine += ch;
    }
    const std::string szAnswer =
        szLine.starts_with("{12}") ? BotTls::Answer(opt_.password, szLine.substr(4, 32)) : "";
    if (szAnswer.empty()) {
        std::fprintf(stderr, "bot %d: cannot answer %s\n", b.id, szLine.c_str());
        std::exit(3);
    }
    b.out += "{12}" + szAnswer + "\r\n";
}

bool BotSwarm::ConnectOne(Bot& b) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(opt_.port));
    if (inet_pton(AF_INET, opt_.host.c_str(), &addr.sin_addr) != 1) {
        std::fprintf(stderr, "bot: bad host %s\n", opt_.host.c_str());
        std::exit(2);
    }
    int one = 1;
    b.fd = socket(AF_INET, SOCK_STREAM, 0);
    if (b.fd < 0 || connect(b.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        Die("connect");
    }
    setsockopt(b.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // The handshake on the still blocking socket: the server answers it at once.
    if (opt_.tls && (b.ssl = BotTls::Handshake(b.fd)) == nullptr) {
        std::fprintf(stderr, "bot %d: TLS handshake failed\n", b.id);
        std::exit(3);
    }
    if (!opt_.password.empty()) {
        AnswerChallenge(b);
    }
    if (fcntl(b.fd, F_SETFL, fcntl(b.fd, F_GETFL) | O_NONBLOCK) != 0) {
        Die("fcntl");
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u32 = static_cast<uint32_t>(b.id);
    epoll_ctl(epoll_, EPOLL_CTL_ADD, b.fd, &ev);
    b.QueueJoin();
    b.Flush();
    return true;
}

void BotSwarm::Connect() {
    for (Bot& b : bots_) {
        ConnectOne(b);
        Poll(0); // the program server answers every join; keep reading while connecting
    }
}

int BotSwarm::RunJoins() {
    std::vector<int64_t> times;
    for (Bot& b : bots_) {
        const int64_t t0 = NowNs();
        ConnectOne(b);
        while (!b.joined) {
            Poll(1);
            if (NowNs() - t0 > 10000000000LL) {
                std::fprintf(stderr, "bot %d: no answer to the join within 10 s\n", b.id);
                return 4;
            }
        }
        times.push_back(NowNs() - t0);
    }
    std::sort(times.begin(), times.end());
    const auto at = [&](double q) {
        return static_cast<double>(
                   times[static_cast<size_t>(q * static_cast<double>(times.size() - 1) + 0.5)]) /
               1e6;
    };
    std::printf("RESULT mode=join clients=%zu tls=%d join_p50_ms=%.3f join_p99_ms=%.3f "
                "join_max_ms=%.3f\n",
                times.size(), opt_.tls ? 1 : 0, at(0.5), at(0.99), at(1.0));
    return 0;
}

// Every client sends a sync record until every other client has seen one from it, so that the
// measured phase starts with every connection accepted, joined and subscribed.
bool BotSwarm::Sync(double timeoutS) {
    const int nPairs = static_cast<int>(bots_.size() * (bots_.size() - 1));
    int64_t deadline = NowNs() + static_cast<int64_t>(timeoutS * 1e9);
    int64_t nextRound = 0;
    while (stats_.pairsSynced < nPairs) {
        int64_t now = NowNs();
        if (now > deadline) {
            return false;
        }
        if (now >= nextRound) {
            for (Bot& s : bots_) {
                bool bSeenByAll = true;
                for (const Bot& r : bots_) {
                    if (r.id != s.id && !r.from[static_cast<size_t>(s.id)].synced) {
                        bSeenByAll = false;
                        break;
                    }
                }
                if (!bSeenByAll) {
                    s.QueueRecord(-1, now);
                    if (!s.wantWrite) {
                        s.Flush();
                    }
                }
            }
            nextRound = now + 200000000LL;
        }
        Poll(20);
    }
    return true;
}

// The slowest receiver's count of records from sender s.
int64_t BotSwarm::SlowestReceipt(const Bot& s) const {
    int64_t slowest = INT64_MAX;
    for (const Bot& r : bots_) {
        if (r.id != s.id) {
            const Bot::Track& t = r.from[static_cast<size_t>(s.id)];
            slowest = std::min(slowest, t.next + static_cast<int64_t>(t.ahead.size()));
        }
    }
    return slowest == INT64_MAX ? s.sent : slowest;
}

int64_t BotSwarm::SendFor(int64_t t0) {
    if (opt_.mode == "burst") {
        return SendAll();
    }
    const bool bFlood = opt_.mode == "flood";
    const int64_t tEnd = t0 + static_cast<int64_t>(opt_.seconds * 1e9);
    int64_t nPacedNext = 0; // paced: global send counter over all clients
    const double dPacedStepNs = 1e9 / (opt_.rate * static_cast<double>(bots_.size()));
    for (;;) {
        const int64_t now = NowNs();
        if (now >= tEnd) {
            break;
        }
        PollNs(bFlood ? FloodRound() : PacedRound(t0, tEnd, dPacedStepNs, now, nPacedNext));
    }
    return NowNs();
}

int64_t BotSwarm::SendAll() {
    const int64_t nTotal = opt_.records * static_cast<int64_t>(bots_.size());
    for (;;) {
        int64_t nDone = 0;
        for (const Bot& b : bots_) {
            nDone += b.Pending() ? 0 : b.sent;
        }
        if (nDone == nTotal) {
            return NowNs();
        }
        PollNs(FloodRound());
    }
}

int64_t BotSwarm::FloodRound() {
    bool bAnySent = false;
    for (Bot& b : bots_) {
        if (b.Pending()) {
            continue;
        }
        int64_t room = 256;
        if (opt_.mode == "burst") {
            room = std::min<int64_t>(room, opt_.records - b.sent);
        }
        if (opt_.window > 0) {
            room = std::min<int64_t>(room, opt_.window - (b.sent - SlowestReceipt(b)));
        }
        if (room <= 0) {
            continue;
        }
        int64_t ns = NowNs();
        for (int64_t k = 0; k < room; ++k) {
            b.QueueRecord(b.sent++, ns);
        }
        b.Flush();
        bAnySent = true;
    }
    return bAnySent ? 0 : 200000;
}

int64_t BotSwarm::PacedRound(int64_t t0, int64_t tEnd, double dStepNs, int64_t now,
                             int64_t& nNext) {
    const auto C = static_cast<int64_t>(bots_.size());
    for (;;) {
        int64_t due = t0 + static_cast<int64_t>(static_cast<double>(nNext) * dStepNs);
        if (due > now) {
            return std::min(due, tEnd) - now;
        }
        Bot& b = bots_[static_cast<size_t>(nNext % C)];
        b.QueueRecord(b.sent++, NowNs());
        if (!b.wantWrite) {
            b.Flush();
        }
        ++nNext;
        now = NowNs();
    }
}

// Until everything has arrived at the readers, or nothing has moved for 3 s.
int64_t BotSwarm::Drain() {
    int64_t nExpected = 0;
    for (const Bot& s : bots_) {
        nExpected += s.sent * (opt_.readers - (s.id < opt_.readers ? 1 : 0));
    }
    int64_t lastProgress = NowNs();
    int64_t lastCount = stats_.delivered;
    while (stats_.delivered < nExpected) {
        Poll(10);
        if (stats_.delivered != lastCount) {
            lastCount = stats_.delivered;
            lastProgress = NowNs();
        } else if (NowNs() - lastProgress > 3000000000LL) {
            break;
        }
    }
    return nExpected;
}
