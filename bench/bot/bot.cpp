// Load generator for the relay benchmarks: C clients in one process, one epoll loop, plain
// sockets. Every client joins, then sends draw records that carry its id, a sequence number and
// the send time in fields after the five that a server relays untouched:
//   {10}sx;sy;dx;dy;clr;<id>;<seq>;<send ns, CLOCK_MONOTONIC>;  CR LF
// Every client reads everything, ignores other lines, and checks that each record of every other
// sender arrives exactly once and in that sender's order; the delay from send to receipt is the
// latency. The same workload also speaks MQTT 3.1.1 (QoS 0, every client subscribed to one topic
// and publishing the same payload) for a comparison with a broker.
//
//   zaplo_bench_bot --port P [--host 127.0.0.1] [--proto line|mqtt] [--mode flood|paced|idle]
//                   [--clients C] [--seconds T] [--rate R] [--window W]
// flood: each client sends as fast as its socket takes, at most W records ahead of the slowest
//        receiver (0: no limit; default 20000 / C, which keeps every
//        server's queue for one client under about 1 MiB), for T seconds. paced: R records/s per
//        client for T seconds.
// idle:  join, print "JOINED" and sit reading until killed.
// The last line of stdout is "RESULT key=value ...".
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <set>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

const char kTopic[] = "zaplo/canvas";

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;
    bool mqtt = false;
    std::string mode = "flood";
    int clients = 5;
    double seconds = 3;
    double rate = 100;
    int64_t window = -1; // -1: 20000 / clients
};

// What receiver r knows about sender s.
struct Track {
    int64_t next = 0;        // every seq below this has arrived
    std::set<int64_t> ahead; // arrived early, above next
    int64_t outOfOrder = 0;
    int64_t duplicates = 0;
    bool synced = false;
};

struct Bot {
    int fd = -1;
    int id = 0;
    std::vector<char> in;
    size_t inLen = 0;
    std::string out;
    size_t outPos = 0;
    bool wantWrite = false;
    int64_t sent = 0;        // data records sent (next seq)
    std::vector<Track> from; // by sender id
    int syncedFrom = 0;
};

struct Sample {
    int64_t sendNs;
    int64_t latNs;
};

Options g_opt;
std::vector<Bot> g_bots;
int g_epoll = -1;
std::vector<Sample> g_samples;
int64_t g_delivered = 0;
int64_t g_lastReceiptNs = 0;
int g_sampleMask = 0; // keep a sample when (seq & mask) == 0
int g_pairsSynced = 0;

void Die(const char* what) {
    std::fprintf(stderr, "bot: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

void SetInterest(Bot& b, bool bWrite) {
    if (b.wantWrite == bWrite) {
        return;
    }
    b.wantWrite = bWrite;
    epoll_event ev{};
    ev.events = EPOLLIN | (bWrite ? EPOLLOUT : 0u);
    ev.data.u32 = static_cast<uint32_t>(b.id);
    epoll_ctl(g_epoll, EPOLL_CTL_MOD, b.fd, &ev);
}

void Flush(Bot& b) {
    while (b.outPos < b.out.size()) {
        ssize_t n = send(b.fd, b.out.data() + b.outPos, b.out.size() - b.outPos, MSG_NOSIGNAL);
        if (n > 0) {
            b.outPos += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            SetInterest(b, true);
            return;
        } else {
            std::fprintf(stderr, "bot %d: connection lost while sending\n", b.id);
            std::exit(3);
        }
    }
    b.out.clear();
    b.outPos = 0;
    SetInterest(b, false);
}

bool Pending(const Bot& b) {
    return b.outPos < b.out.size();
}

char* PutInt(char* p, int64_t v) {
    char tmp[24];
    int n = 0;
    bool neg = v < 0;
    uint64_t u = neg ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
    do {
        tmp[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    if (neg) {
        *p++ = '-';
    }
    while (n) {
        *p++ = tmp[--n];
    }
    return p;
}

// The draw record with the stamp fields; seq -1 marks a sync record.
size_t MakeRecord(char* buf, int id, int64_t seq, int64_t ns) {
    char* p = buf;
    int64_t k = seq < 0 ? 0 : seq;
    int sx = static_cast<int>((k * 7 + id * 31) % 400);
    int sy = static_cast<int>((k * 13 + id * 17) % 400);
    int dx = static_cast<int>((sx + 3 + k % 5) % 400);
    int dy = static_cast<int>((sy + 2 + k % 3) % 400);
    p = PutInt(p, sx);
    *p++ = ';';
    p = PutInt(p, sy);
    *p++ = ';';
    p = PutInt(p, dx);
    *p++ = ';';
    p = PutInt(p, dy);
    *p++ = ';';
    p = PutInt(p, (id * 2654435761u) & 0xffffff);
    *p++ = ';';
    p = PutInt(p, id);
    *p++ = ';';
    p = PutInt(p, seq);
    *p++ = ';';
    p = PutInt(p, ns);
    *p++ = ';';
    return static_cast<size_t>(p - buf);
}

void PutMqttLength(std::string& s, size_t n) {
    do {
        uint8_t byte = n % 128;
        n /= 128;
        if (n) {
            byte |= 128;
        }
        s.push_back(static_cast<char>(byte));
    } while (n);
}

void PutMqttString(std::string& s, const char* p, size_t n) {
    s.push_back(static_cast<char>(n >> 8));
    s.push_back(static_cast<char>(n & 0xff));
    s.append(p, n);
}

// Appends one record (line or MQTT PUBLISH) to the bot's output.
void QueueRecord(Bot& b, int64_t seq, int64_t ns) {
    char payload[128];
    size_t n = MakeRecord(payload, b.id, seq, ns);
    if (g_opt.mqtt) {
        b.out.push_back(static_cast<char>(0x30));
        PutMqttLength(b.out, 2 + sizeof kTopic - 1 + n);
        PutMqttString(b.out, kTopic, sizeof kTopic - 1);
        b.out.append(payload, n);
    } else {
        b.out.append("{10}", 4);
        b.out.append(payload, n);
        b.out.append("\r\n", 2);
    }
}

void QueueJoin(Bot& b) {
    std::string nick = "bot" + std::to_string(b.id);
    if (!g_opt.mqtt) {
        b.out += "{2}" + nick + "\r\n";
        return;
    }
    std::string body;
    PutMqttString(body, "MQTT", 4);
    body.push_back(4); // protocol level 3.1.1
    body.push_back(2); // clean session
    body.push_back(0); // no keep-alive
    body.push_back(0);
    PutMqttString(body, nick.data(), nick.size());
    b.out.push_back(static_cast<char>(0x10));
    PutMqttLength(b.out, body.size());
    b.out += body;
    body.clear();
    body.push_back(0); // packet id 1
    body.push_back(1);
    PutMqttString(body, kTopic, sizeof kTopic - 1);
    body.push_back(0); // QoS 0
    b.out.push_back(static_cast<char>(0x82));
    PutMqttLength(b.out, body.size());
    b.out += body;
}

// Reads a decimal field ending at ';'; advances p past it.
bool ReadField(const char*& p, const char* end, int64_t& v) {
    bool neg = false;
    if (p < end && *p == '-') {
        neg = true;
        ++p;
    }
    int64_t x = 0;
    const char* start = p;
    while (p < end && *p >= '0' && *p <= '9') {
        x = x * 10 + (*p - '0');
        ++p;
    }
    if (p == start || p >= end || *p != ';') {
        return false;
    }
    ++p;
    v = neg ? -x : x;
    return true;
}

int64_t g_parseErrors = 0;

// One record payload (the part after "{10}") received by bot r at nowNs.
void OnRecord(Bot& r, const char* p, const char* end, int64_t nowNs) {
    for (int k = 0; k < 5; ++k) {
        const char* semi =
            static_cast<const char*>(std::memchr(p, ';', static_cast<size_t>(end - p)));
        if (!semi) {
            ++g_parseErrors;
            return;
        }
        p = semi + 1;
    }
    int64_t id = 0, seq = 0, ns = 0;
    if (!ReadField(p, end, id) || !ReadField(p, end, seq) || !ReadField(p, end, ns)) {
        ++g_parseErrors;
        return;
    }
    if (id < 0 || id >= static_cast<int64_t>(g_bots.size())) {
        ++g_parseErrors;
        return;
    }
    if (id == r.id) {
        return; // a broker sends us our own messages
    }
    Track& t = r.from[static_cast<size_t>(id)];
    if (seq < 0) {
        if (!t.synced) {
            t.synced = true;
            ++r.syncedFrom;
            ++g_pairsSynced;
        }
        return;
    }
    if (seq == t.next) {
        ++t.next;
        while (!t.ahead.empty() && *t.ahead.begin() == t.next) {
            t.ahead.erase(t.ahead.begin());
            ++t.next;
        }
    } else if (seq > t.next) {
        if (!t.ahead.insert(seq).second) {
            ++t.duplicates;
            return;
        }
        ++t.outOfOrder;
    } else {
        ++t.duplicates;
        return;
    }
    ++g_delivered;
    g_lastReceiptNs = nowNs;
    if ((seq & g_sampleMask) == 0) {
        g_samples.push_back({ns, nowNs - ns});
    }
}

// Handles the complete lines or MQTT packets in the bot's input; keeps the rest.
void Consume(Bot& b, int64_t nowNs) {
    const char* base = b.in.data();
    const char* p = base;
    const char* end = base + b.inLen;
    if (!g_opt.mqtt) {
        for (;;) {
            const char* nl =
                static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            if (!nl) {
                break;
            }
            if (nl - p >= 5 && std::memcmp(p, "{10}", 4) == 0 && nl[-1] == '\r') {
                OnRecord(b, p + 4, nl - 1, nowNs);
            }
            p = nl + 1;
        }
    } else {
        for (;;) {
            if (end - p < 2) {
                break;
            }
            uint8_t type = static_cast<uint8_t>(p[0]);
            size_t len = 0;
            int shift = 0;
            const char* q = p + 1;
            bool bComplete = false;
            while (q < end && shift <= 21) {
                uint8_t byte = static_cast<uint8_t>(*q++);
                len |= static_cast<size_t>(byte & 127) << shift;
                shift += 7;
                if (!(byte & 128)) {
                    bComplete = true;
                    break;
                }
            }
            if (!bComplete || static_cast<size_t>(end - q) < len) {
                break;
            }
            if ((type >> 4) == 3 && len >= 2) {
                size_t topicLen = (static_cast<uint8_t>(q[0]) << 8) | static_cast<uint8_t>(q[1]);
                size_t skip = 2 + topicLen + ((type & 6) ? 2 : 0);
                if (skip <= len) {
                    OnRecord(b, q + skip, q + len, nowNs);
                }
            }
            p = q + len;
        }
    }
    size_t rest = static_cast<size_t>(end - p);
    if (rest && p != base) {
        std::memmove(b.in.data(), p, rest);
    }
    b.inLen = rest;
}

void OnReadable(Bot& b) {
    for (;;) {
        if (b.in.size() - b.inLen < 65536) {
            b.in.resize(b.in.size() * 2);
        }
        ssize_t n = recv(b.fd, b.in.data() + b.inLen, b.in.size() - b.inLen, 0);
        if (n == 0) {
            std::fprintf(stderr, "bot %d: the server closed the connection\n", b.id);
            std::exit(3);
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            std::fprintf(stderr, "bot %d: connection lost\n", b.id);
            std::exit(3);
        }
        b.inLen += static_cast<size_t>(n);
        Consume(b, NowNs());
        if (b.inLen > 16 * 1024 * 1024) {
            std::fprintf(stderr, "bot %d: a line longer than 16 MiB\n", b.id);
            std::exit(3);
        }
    }
}

std::vector<epoll_event> g_events(512);

// One round of the loop: waits at most timeoutNs (negative: no limit) for socket events and
// handles them.
void PollNs(int64_t timeoutNs) {
    timespec ts{timeoutNs / 1000000000LL, timeoutNs % 1000000000LL};
    int n = epoll_pwait2(g_epoll, g_events.data(), static_cast<int>(g_events.size()),
                         timeoutNs < 0 ? nullptr : &ts, nullptr);
    if (n < 0 && errno != EINTR) {
        Die("epoll_wait");
    }
    for (int i = 0; i < n; ++i) {
        Bot& b = g_bots[g_events[i].data.u32];
        if (g_events[i].events & EPOLLIN) {
            OnReadable(b);
        }
        if (g_events[i].events & EPOLLOUT) {
            Flush(b);
        }
        if ((g_events[i].events & (EPOLLERR | EPOLLHUP)) && !(g_events[i].events & EPOLLIN)) {
            std::fprintf(stderr, "bot %d: connection error\n", b.id);
            std::exit(3);
        }
    }
}

void Poll(int timeoutMs) {
    PollNs(timeoutMs < 0 ? -1 : timeoutMs * 1000000LL);
}

void Connect() {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(g_opt.port));
    if (inet_pton(AF_INET, g_opt.host.c_str(), &addr.sin_addr) != 1) {
        std::fprintf(stderr, "bot: bad host %s\n", g_opt.host.c_str());
        std::exit(2);
    }
    int one = 1;
    for (Bot& b : g_bots) {
        b.fd = socket(AF_INET, SOCK_STREAM, 0);
        if (b.fd < 0 || connect(b.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            Die("connect");
        }
        setsockopt(b.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (fcntl(b.fd, F_SETFL, fcntl(b.fd, F_GETFL) | O_NONBLOCK) != 0) {
            Die("fcntl");
        }
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = static_cast<uint32_t>(b.id);
        epoll_ctl(g_epoll, EPOLL_CTL_ADD, b.fd, &ev);
        QueueJoin(b);
        Flush(b);
        Poll(0); // the program server answers every join; keep reading while connecting
    }
}

// Every client sends a sync record until every other client has seen one from it, so that the
// measured phase starts with every connection accepted, joined and subscribed.
bool Sync(double timeoutS) {
    const int nPairs = static_cast<int>(g_bots.size() * (g_bots.size() - 1));
    int64_t deadline = NowNs() + static_cast<int64_t>(timeoutS * 1e9);
    int64_t nextRound = 0;
    while (g_pairsSynced < nPairs) {
        int64_t now = NowNs();
        if (now > deadline) {
            return false;
        }
        if (now >= nextRound) {
            for (Bot& s : g_bots) {
                bool bSeenByAll = true;
                for (const Bot& r : g_bots) {
                    if (r.id != s.id && !r.from[static_cast<size_t>(s.id)].synced) {
                        bSeenByAll = false;
                        break;
                    }
                }
                if (!bSeenByAll) {
                    QueueRecord(s, -1, now);
                    if (!s.wantWrite) {
                        Flush(s);
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
int64_t SlowestReceipt(const Bot& s) {
    int64_t slowest = INT64_MAX;
    for (const Bot& r : g_bots) {
        if (r.id != s.id) {
            const Track& t = r.from[static_cast<size_t>(s.id)];
            slowest = std::min(slowest, t.next + static_cast<int64_t>(t.ahead.size()));
        }
    }
    return slowest == INT64_MAX ? s.sent : slowest;
}

double Percentile(std::vector<int64_t>& v, double q) {
    if (v.empty()) {
        return 0;
    }
    size_t k = static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return static_cast<double>(v[k]) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i];
        std::string val = argv[i + 1];
        if (key == "--host") {
            g_opt.host = val;
        } else if (key == "--port") {
            g_opt.port = std::atoi(val.c_str());
        } else if (key == "--proto") {
            g_opt.mqtt = val == "mqtt";
        } else if (key == "--mode") {
            g_opt.mode = val;
        } else if (key == "--clients") {
            g_opt.clients = std::atoi(val.c_str());
        } else if (key == "--seconds") {
            g_opt.seconds = std::atof(val.c_str());
        } else if (key == "--rate") {
            g_opt.rate = std::atof(val.c_str());
        } else if (key == "--window") {
            g_opt.window = std::atoll(val.c_str());
        } else {
            std::fprintf(stderr, "bot: unknown option %s\n", key.c_str());
            return 2;
        }
    }
    if (g_opt.port <= 0 || g_opt.clients < 2) {
        std::fprintf(stderr, "bot: need --port and at least 2 --clients\n");
        return 2;
    }
    const size_t C = static_cast<size_t>(g_opt.clients);
    g_epoll = epoll_create1(0);
    g_bots.resize(C);
    for (size_t i = 0; i < C; ++i) {
        g_bots[i].id = static_cast<int>(i);
        g_bots[i].from.resize(C);
        g_bots[i].in.resize(256 * 1024);
    }
    if (g_opt.window < 0) {
        g_opt.window = std::max<int64_t>(16, 20000 / g_opt.clients);
    }
    g_sampleMask = g_opt.mode == "flood" ? 63 : 0;

    Connect();
    if (!Sync(g_opt.clients > 100 ? 60 : 20)) {
        std::fprintf(
            stderr,
            "bot: not every client saw every other within the time limit (%d of %zu pairs)\n",
            g_pairsSynced, C * (C - 1));
        return 4;
    }
    // Let the join answers and the last sync records drain before measuring.
    for (int64_t until = NowNs() + 100000000LL; NowNs() < until;) {
        Poll(10);
    }
    if (g_opt.mode == "idle") {
        std::printf("JOINED\n");
        std::fflush(stdout);
        for (;;) {
            Poll(-1);
        }
    }

    const bool bFlood = g_opt.mode == "flood";
    const int64_t t0 = NowNs();
    const int64_t tEnd = t0 + static_cast<int64_t>(g_opt.seconds * 1e9);
    int64_t nPacedNext = 0; // paced: global send counter over all clients
    const double dPacedStepNs = 1e9 / (g_opt.rate * static_cast<double>(C));
    for (;;) {
        int64_t now = NowNs();
        if (now >= tEnd) {
            break;
        }
        int64_t timeoutNs = 0;
        if (bFlood) {
            bool bAnySent = false;
            for (Bot& b : g_bots) {
                if (Pending(b)) {
                    continue;
                }
                int64_t room = 256;
                if (g_opt.window > 0) {
                    room = std::min<int64_t>(room, g_opt.window - (b.sent - SlowestReceipt(b)));
                }
                if (room <= 0) {
                    continue;
                }
                int64_t ns = NowNs();
                for (int64_t k = 0; k < room; ++k) {
                    QueueRecord(b, b.sent++, ns);
                }
                Flush(b);
                bAnySent = true;
            }
            timeoutNs = bAnySent ? 0 : 200000;
        } else {
            for (;;) {
                int64_t due =
                    t0 + static_cast<int64_t>(static_cast<double>(nPacedNext) * dPacedStepNs);
                if (due > now) {
                    timeoutNs = std::min(due, tEnd) - now;
                    break;
                }
                Bot& b = g_bots[static_cast<size_t>(nPacedNext % static_cast<int64_t>(C))];
                QueueRecord(b, b.sent++, NowNs());
                if (!b.wantWrite) {
                    Flush(b);
                }
                ++nPacedNext;
                now = NowNs();
            }
        }
        PollNs(timeoutNs);
    }
    const int64_t tSendEnd = NowNs();

    // Drain: until everything has arrived, or nothing has moved for 3 s.
    int64_t nExpected = 0;
    for (const Bot& s : g_bots) {
        nExpected += s.sent * static_cast<int64_t>(C - 1);
    }
    int64_t lastProgress = NowNs();
    int64_t lastCount = g_delivered;
    while (g_delivered < nExpected) {
        Poll(10);
        if (g_delivered != lastCount) {
            lastCount = g_delivered;
            lastProgress = NowNs();
        } else if (NowNs() - lastProgress > 3000000000LL) {
            break;
        }
    }

    int64_t nOutOfOrder = 0, nDuplicates = 0, nSent = 0;
    for (const Bot& r : g_bots) {
        nSent += r.sent;
        for (const Track& t : r.from) {
            nOutOfOrder += t.outOfOrder;
            nDuplicates += t.duplicates;
        }
    }
    double dSpan = static_cast<double>(std::max(g_lastReceiptNs, tSendEnd) - t0) / 1e9;
    std::vector<int64_t> all, first, last;
    all.reserve(g_samples.size());
    const int64_t fifth = (tSendEnd - t0) / 5;
    for (const Sample& s : g_samples) {
        all.push_back(s.latNs);
        if (s.sendNs < t0 + fifth) {
            first.push_back(s.latNs);
        } else if (s.sendNs >= tSendEnd - fifth) {
            last.push_back(s.latNs);
        }
    }
    double dMax =
        all.empty() ? 0 : static_cast<double>(*std::max_element(all.begin(), all.end())) / 1e6;
    std::printf("RESULT proto=%s mode=%s clients=%zu sent=%lld delivered=%lld missing=%lld "
                "out_of_order=%lld duplicates=%lld parse_errors=%lld seconds=%.3f rate=%.0f "
                "p50_ms=%.3f p99_ms=%.3f max_ms=%.3f p99_first_ms=%.3f p99_last_ms=%.3f\n",
                g_opt.mqtt ? "mqtt" : "line", g_opt.mode.c_str(), C, static_cast<long long>(nSent),
                static_cast<long long>(g_delivered),
                static_cast<long long>(nExpected - g_delivered),
                static_cast<long long>(nOutOfOrder), static_cast<long long>(nDuplicates),
                static_cast<long long>(g_parseErrors), dSpan,
                static_cast<double>(g_delivered) / dSpan, Percentile(all, 0.5),
                Percentile(all, 0.99), dMax, Percentile(first, 0.99), Percentile(last, 0.99));
    return 0;
}
