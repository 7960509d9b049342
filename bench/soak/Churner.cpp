// SPDX-License-Identifier: MIT
#include "bench/soak/Churner.h"

#include "bench/soak/SoakSocket.h"
#include "net/AcceptGate.h"

#include <algorithm>
#include <thread>
#include <unistd.h>

namespace {

constexpr double kBurst = zaplo::AcceptGate::kBurst;
constexpr double kPerMs = zaplo::AcceptGate::kPerSecond / 1000.0;
// A connection the server leaves in the system's backlog is given up on after this.
constexpr int kConnectMs = 200;

} // namespace

Churner::Churner(uint16_t nPort, int nAddresses)
    : nPort_(nPort), tokens_(static_cast<std::size_t>(nAddresses), kBurst),
      lastMs_(static_cast<std::size_t>(nAddresses), 0) {
    for (int i = 0; i < nAddresses; ++i) {
        addresses_.push_back("127.0.0." + std::to_string(2 + i));
    }
}

void Churner::Run(const std::atomic<bool>& bStop) {
    const auto t0 = SoakClock::now();
    while (!bStop) {
        double dWaitMs = 0;
        const std::size_t i = Next(MsSince(t0), dWaitMs);
        if (dWaitMs > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(dWaitMs));
            continue;
        }
        tokens_[i] -= 1;
        Cycle(addresses_[i]);
    }
}

std::size_t Churner::Next(double ms, double& dWaitMs) {
    std::size_t iBest = 0;
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
        tokens_[i] = std::min(kBurst, tokens_[i] + (ms - lastMs_[i]) * kPerMs);
        lastMs_[i] = ms;
        if (tokens_[i] > tokens_[iBest]) {
            iBest = i;
        }
    }
    dWaitMs = tokens_[iBest] >= 1 ? 0 : (1 - tokens_[iBest]) / kPerMs;
    return iBest;
}

void Churner::Cycle(const std::string& szFrom) {
    const int fd = ConnectWithin(nPort_, szFrom.c_str(), kConnectMs);
    if (fd < 0) {
        ++nFailed_;
        return;
    }
    SendAll(fd, "{2}j" + std::to_string(nCycles_) + "\r\n");
    ::close(fd);
    ++nCycles_;
}
