// SPDX-License-Identifier: MIT
#pragma once
// A peer that connects, joins and leaves in a loop from several addresses, each address as
// often as the server's accept gate lets one in (a burst, then a steady rate).
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class Churner {
public:
    // From 127.0.0.2 on, nAddresses of them.
    Churner(uint16_t nPort, int nAddresses);

    // Until bStop; meant for a thread of its own.
    void Run(const std::atomic<bool>& bStop);
    // Cycles whose connection was made, and those that found no connection within a moment.
    long Cycles() const { return nCycles_; }
    long Failed() const { return nFailed_; }

private:
    // The address whose next token comes first, and in how many ms it comes (0: now).
    std::size_t Next(double ms, double& dWaitMs);
    void Cycle(const std::string& szFrom);

    uint16_t nPort_;
    std::vector<std::string> addresses_;
    std::vector<double> tokens_; // per address, as the gate counts them
    std::vector<double> lastMs_; // per address, when its tokens were last counted
    std::atomic<long> nCycles_{0};
    std::atomic<long> nFailed_{0};
};
