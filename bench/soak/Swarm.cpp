// SPDX-License-Identifier: MIT
#include "bench/soak/Swarm.h"

#include "bench/soak/SoakRecords.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

SwarmPeer::SwarmPeer(int nId, const PeerPlan& s, uint16_t nPort) : id(nId), plan(s) {
    fd_ = Connect(nPort, plan.nRcvBuf);
    out_ = "{2}" + plan.szNick + "\r\n";
    SetNonBlocking(fd_);
}

SwarmPeer::~SwarmPeer() {
    ::close(fd_);
}

void SwarmPeer::Step(double ms, bool bSending) {
    if (bSending) {
        for (; nDrawsMade < static_cast<long>(ms * plan.nDrawsPerSecond / 1000); ++nDrawsMade) {
            out_ += DrawLine(nDrawsMade, id);
        }
        for (; nChatsMade < static_cast<long>(ms * plan.dChatsPerSecond / 1000); ++nChatsMade) {
            out_ += ChatLine(plan.szNick, id, nChatsMade);
        }
    }
    if (!out_.empty() && !bClosed_) {
        const ssize_t r = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
        if (r > 0) {
            out_.erase(0, static_cast<std::size_t>(r));
        }
    }
    Read(ms);
}

void SwarmPeer::Read(double ms) {
    if (bClosed_) {
        return;
    }
    std::size_t nAllowed = 1 << 20;
    if (plan.nReadRate > 0) {
        // At most a tenth of a second's worth saved up: a link does not store its capacity.
        dReadBudget_ =
            std::min(dReadBudget_ + (ms - dLastMs_) * static_cast<double>(plan.nReadRate) / 1000,
                     static_cast<double>(plan.nReadRate) / 10);
        nAllowed = static_cast<std::size_t>(std::max(dReadBudget_, 0.0));
    }
    dLastMs_ = ms;
    char buf[65536];
    std::size_t nTaken = 0;
    while (nTaken < nAllowed) {
        const ssize_t r = ::recv(fd_, buf, std::min(sizeof buf, nAllowed - nTaken), 0);
        if (r == 0 || (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            bClosed_ = true;
            dClosedAtMs = ms;
            break;
        }
        if (r < 0) {
            break;
        }
        nTaken += static_cast<std::size_t>(r);
        in_.append(buf, static_cast<std::size_t>(r));
    }
    if (plan.nReadRate > 0) {
        dReadBudget_ -= static_cast<double>(nTaken);
    }
    TakeLines(in_, [&](std::string_view line) { Line(line, ms); });
}

void SwarmPeer::Line(std::string_view line, double ms) {
    long f[5] = {};
    if (ReadDraw(line, f)) {
        if (f[2] == 3) {
            ++nFloodRecords;
            return;
        }
        const long seq = f[0] + f[1] * 30000;
        long& next = draws[static_cast<int>(f[2] - 1000)];
        nDisorder += seq == next ? 0 : 1;
        next = seq + 1;
    } else if (line.starts_with("{1}{")) {
        const std::optional<ChatStamp> stamp = ReadChat(line);
        if (!stamp) {
            return;
        }
        long& next = chats[stamp->id];
        nDisorder += stamp->seq == next ? 0 : 1;
        next = stamp->seq + 1;
        chatMs[stamp->id].push_back(stamp->dAgeMs);
    } else if (line.starts_with("{2}")) {
        ++nJoinsSeen;
    } else if (line.starts_with("{9}") && line.ends_with(" has been disconnected!")) {
        const std::string name(line.substr(3, line.find(' ') - 3));
        departures.emplace(name, ms);
    }
}

long Missing(const SwarmPeer& p, const std::vector<std::unique_ptr<SwarmPeer>>& from) {
    long nMissing = 0;
    for (const auto& q : from) {
        if (q->id != p.id) {
            const auto d = p.draws.find(q->id);
            nMissing += q->nDrawsMade - (d == p.draws.end() ? 0 : d->second);
        }
        const auto c = p.chats.find(q->id);
        nMissing += q->nChatsMade - (c == p.chats.end() ? 0 : c->second);
    }
    return nMissing;
}

void RunSwarm(std::vector<std::unique_ptr<SwarmPeer>>& peers, double dSeconds, double dDrainSeconds,
              const std::atomic<bool>* pStop) {
    const auto t0 = SoakClock::now();
    std::vector<pollfd> fds(peers.size());
    for (;;) {
        const double ms = MsSince(t0);
        const bool bSending = ms < dSeconds * 1000 && (pStop == nullptr || !*pStop);
        if (!bSending) {
            const bool bAll = std::all_of(peers.begin(), peers.end(), [&](const auto& p) {
                return p->Closed() || (p->Drained() && Missing(*p, peers) == 0);
            });
            if (bAll || ms > (dSeconds + dDrainSeconds) * 1000) {
                return;
            }
        }
        for (std::size_t i = 0; i < peers.size(); ++i) {
            fds[i] = {peers[i]->Fd(),
                      static_cast<short>(POLLIN | (peers[i]->WantsWrite() ? POLLOUT : 0)), 0};
        }
        ::poll(fds.data(), fds.size(), 1);
        for (auto& p : peers) {
            p->Step(MsSince(t0), bSending);
        }
    }
}
