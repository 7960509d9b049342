#pragma once
// An honest client of the soak: draws and chats at a steady rate and checks that every record
// and chat line of the other honest clients arrives once and in order.
#include "bench/soak/SoakShared.h"

#include <charconv>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

class Honest {
public:
    Honest(int id, uint16_t nPort, Shared& shared) : id_(id), shared_(shared) {
        fd_ = Connect(nPort);
        SendAll(fd_, "{2}h" + std::to_string(id_) + "\r\n");
        SetNonBlocking(fd_);
    }
    ~Honest() { ::close(fd_); }

    void Run(double dSeconds) {
        const auto tStart = SoakClock::now();
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
                                        SoakClock::now().time_since_epoch())
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
                                          SoakClock::now().time_since_epoch())
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
