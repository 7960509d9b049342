// SPDX-License-Identifier: MIT
#include "bench/soak/Honest.h"

#include "bench/soak/SoakRecords.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

Honest::Honest(int id, uint16_t nPort, Shared& shared) : id_(id), shared_(shared) {
    fd_ = Connect(nPort);
    SendAll(fd_, "{2}h" + std::to_string(id_) + "\r\n");
    SetNonBlocking(fd_);
}

Honest::~Honest() {
    ::close(fd_);
}

void Honest::Run(double dSeconds) {
    const auto tStart = SoakClock::now();
    long nDraw = 0;
    long nChat = 0;
    while (!bClosed_) {
        const double ms = MsSince(tStart);
        const bool bSending = ms < dSeconds * 1000 && !shared_.bStop;
        if (bSending) {
            Queue(ms, nDraw, nChat);
        } else if (Complete() || ms > dSeconds * 1000 + 3000) {
            break;
        }
        Pump();
    }
    Report();
}

// What is due by ms since the start.
void Honest::Queue(double ms, long& nDraw, long& nChat) {
    std::string szOut;
    for (; nDraw < static_cast<long>(ms * kDrawsPerSecond / 1000); ++nDraw) {
        szOut += DrawLine(nDraw, id_);
    }
    for (; nChat < static_cast<long>(ms * kChatsPerSecond / 1000); ++nChat) {
        szOut += ChatLine("h" + std::to_string(id_), id_, nChat);
    }
    out_ += szOut;
    shared_.drawsSent[static_cast<std::size_t>(id_)] = nDraw;
    shared_.chatsSent[static_cast<std::size_t>(id_)] = nChat;
}

void Honest::Report() {
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

bool Honest::Complete() const {
    for (int k = 0; k < kHonest; ++k) {
        if ((k != id_ && draws_[k] < shared_.drawsSent[static_cast<std::size_t>(k)]) ||
            chats_[k] < shared_.chatsSent[static_cast<std::size_t>(k)]) {
            return false;
        }
    }
    return true;
}

void Honest::Pump() {
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
    TakeLines(in_, [this](std::string_view line) { Line(line); });
}

// The next number expected from a sender; anything else is out of order.
void Honest::Count(long seq, long& next, long& nDisorder) {
    if (seq == next) {
        ++next;
    } else {
        ++nDisorder;
        next = seq + 1;
    }
}

void Honest::Line(std::string_view line) {
    long f[5] = {};
    if (ReadDraw(line, f)) {
        if (f[2] == 3) {
            ++nFloodRecords_;
        }
        if (f[2] >= 1000 && f[2] < 1000 + kHonest) {
            Count(f[0] + f[1] * 30000, draws_[f[2] - 1000], nDisorder_);
        }
    } else if (line.starts_with("{1}{h")) {
        Chat(line);
    } else if (line.starts_with("{9}nr") && line.ends_with(" has been disconnected!")) {
        const std::string name(line.substr(3, line.find(' ') - 3));
        std::lock_guard lock(shared_.mutex);
        if (!shared_.cutAtMs.contains(name)) {
            shared_.cutAtMs[name] = MsSince(shared_.t0);
        }
    }
}

void Honest::Chat(std::string_view line) {
    const std::optional<ChatStamp> stamp = ReadChat(line);
    if (!stamp || stamp->id < 0 || stamp->id >= kHonest) {
        return;
    }
    Count(stamp->seq, chats_[stamp->id], nDisorder_);
    if (stamp->id == id_) {
        echo_.push_back(stamp->dAgeMs);
        if (echo_.back() > 40 && std::getenv("SOAK_DEBUG") != nullptr) {
            std::fprintf(stderr, "slow echo %.1f ms at %.2f s\n", echo_.back(),
                         MsSince(shared_.t0) / 1000);
        }
    }
}
