// SPDX-License-Identifier: MIT
#include "bench/bot/Bot.h"

#include "bench/bot/BotStats.h"
#include "bench/bot/BotTls.h"
#include "bench/bot/MonoClock.h"
#include "bench/bot/MqttCodec.h"
#include "bench/bot/StampedRecord.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/epoll.h>
#include <sys/socket.h>

namespace {

const char kTopic[] = "zaplo/canvas";

} // namespace

void Bot::SetInterest(bool bWrite) {
    if (wantWrite == bWrite) {
        return;
    }
    wantWrite = bWrite;
    epoll_event ev{};
    ev.events = EPOLLIN | (bWrite ? EPOLLOUT : 0u);
    ev.data.u32 = static_cast<uint32_t>(id);
    epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &ev);
}

void Bot::Flush() {
    while (outPos < out.size()) {
        const ssize_t n = ssl != nullptr
                              ? BotTls::Send(ssl, out.data() + outPos, out.size() - outPos)
                              : send(fd, out.data() + outPos, out.size() - outPos, MSG_NOSIGNAL);
        if (n > 0) {
            outPos += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            SetInterest(true);
            return;
        } else {
            std::fprintf(stderr, "bot %d: connection lost while sending\n", id);
            std::exit(3);
        }
    }
    out.clear();
    outPos = 0;
    SetInterest(false);
}

void Bot::QueueRecord(int64_t seq, int64_t ns) {
    char payload[128];
    size_t n = StampedRecord::Make(payload, id, seq, ns);
    if (mqtt) {
        MqttCodec::AppendPublish(out, kTopic, sizeof kTopic - 1, payload, n);
    } else {
        out.append("{10}", 4);
        out.append(payload, n);
        out.append("\r\n", 2);
    }
}

void Bot::QueueJoin() {
    std::string nick = "bot" + std::to_string(id);
    if (!mqtt) {
        out += "{2}" + nick + "\r\n";
        return;
    }
    MqttCodec::AppendJoin(out, nick, kTopic, sizeof kTopic - 1);
}

// One record payload (the part after "{10}") received at nowNs.
void Bot::OnRecord(const char* p, const char* end, int64_t nowNs, BotStats& stats) {
    int64_t sender = 0, seq = 0, ns = 0;
    if (!StampedRecord::ReadStamp(p, end, sender, seq, ns)) {
        ++stats.parseErrors;
        return;
    }
    if (sender < 0 || sender >= static_cast<int64_t>(from.size())) {
        ++stats.parseErrors;
        return;
    }
    if (sender == id) {
        return; // a broker sends us our own messages
    }
    Track& t = from[static_cast<size_t>(sender)];
    if (seq < 0) {
        if (!t.synced) {
            t.synced = true;
            ++syncedFrom;
            ++stats.pairsSynced;
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
    stats.Delivered(seq, ns, nowNs);
}

// Handles the complete lines or MQTT packets in the input; keeps the rest.
void Bot::Consume(int64_t nowNs, BotStats& stats) {
    const char* base = in.data();
    const char* p = base;
    const char* end = base + inLen;
    if (!mqtt) {
        for (;;) {
            const char* nl =
                static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            if (!nl) {
                break;
            }
            if (nl - p >= 5 && std::memcmp(p, "{10}", 4) == 0 && nl[-1] == '\r') {
                OnRecord(p + 4, nl - 1, nowNs, stats);
            } else if (!joined && nl - p >= 3 && std::memcmp(p, "{8}", 3) == 0) {
                joined = true;
            }
            p = nl + 1;
        }
    } else {
        MqttCodec::Packet packet;
        while (MqttCodec::Read(p, end, packet)) {
            const char* payload = nullptr;
            const char* payloadEnd = nullptr;
            if (MqttCodec::Payload(packet, payload, payloadEnd)) {
                OnRecord(payload, payloadEnd, nowNs, stats);
            }
            p = packet.body + packet.len;
        }
    }
    size_t rest = static_cast<size_t>(end - p);
    if (rest && p != base) {
        std::memmove(in.data(), p, rest);
    }
    inLen = rest;
}

void Bot::OnReadable(BotStats& stats) {
    if (discard) {
        Discard();
        return;
    }
    for (;;) {
        if (in.size() - inLen < 65536) {
            in.resize(in.size() * 2);
        }
        const ssize_t n = ssl != nullptr ? BotTls::Recv(ssl, in.data() + inLen, in.size() - inLen)
                                         : recv(fd, in.data() + inLen, in.size() - inLen, 0);
        if (n == 0) {
            std::fprintf(stderr, "bot %d: the server closed the connection\n", id);
            std::exit(3);
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            std::fprintf(stderr, "bot %d: connection lost\n", id);
            std::exit(3);
        }
        const size_t nRoom = in.size() - inLen;
        inLen += static_cast<size_t>(n);
        Consume(NowNs(), stats);
        if (inLen > 16 * 1024 * 1024) {
            std::fprintf(stderr, "bot %d: a line longer than 16 MiB\n", id);
            std::exit(3);
        }
        // A short read took all the socket had: epoll tells when more comes, so asking again
        // now would only cost a system call that says EAGAIN.
        if (ssl != nullptr ? !BotTls::Buffered(ssl) : static_cast<size_t>(n) < nRoom) {
            return;
        }
    }
}

void Bot::Discard() {
    for (;;) {
        const ssize_t n = recv(fd, in.data(), in.size(), 0);
        if (n > 0 && static_cast<size_t>(n) < in.size()) {
            return; // all the socket had, as in OnReadable
        }
        if (n > 0 || (n < 0 && errno == EINTR)) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        std::fprintf(stderr,
                     n == 0 ? "bot %d: the server closed the connection\n"
                            : "bot %d: connection lost\n",
                     id);
        std::exit(3);
    }
}
