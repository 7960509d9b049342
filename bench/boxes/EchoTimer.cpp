// SPDX-License-Identifier: MIT
#include "bench/boxes/EchoTimer.h"

#include "bench/boxes/BoxSocket.h"

#include <cstdlib>
#include <string>

namespace {

constexpr std::string_view kMark = "{1}{talker}ping";

} // namespace

void EchoTimer::Ping(int fd) {
    const int seq = static_cast<int>(sentAt_.size());
    sentAt_.push_back(Clock::now());
    waiting_.insert(seq);
    SendAll(fd, std::string(kMark) + std::to_string(seq) + "\r\n");
}

void EchoTimer::Take(std::string_view line) {
    if (line.substr(0, kMark.size()) == kMark) {
        const int n = std::atoi(std::string(line.substr(kMark.size())).c_str());
        if (waiting_.erase(n) > 0) {
            echoes_.push_back(std::chrono::duration<double, std::milli>(
                                  Clock::now() - sentAt_[static_cast<std::size_t>(n)])
                                  .count());
        }
    }
}

void EchoTimer::Finish() {
    for (int n : waiting_) {
        echoes_.push_back(MsSince(sentAt_[static_cast<std::size_t>(n)]));
        ++nLost_;
    }
    waiting_.clear();
}
