// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

namespace zaplo {

// How fast the server takes new connections from one address: a token bucket per address (an
// IPv6 address counts by its /64 network, which one host usually has whole). Joins and
// departures cost every other peer a message each, so a peer that connects and leaves in a loop
// floods like one that sends too much; this bounds it to kPerSecond, while a burst of kBurst (a
// class joining together behind one router) passes at once. Plain numbers, no sockets.
class AcceptGate {
public:
    static constexpr int kBurst = 40;
    static constexpr int kPerSecond = 20;
    // Addresses remembered at most; beyond it the ones with a full bucket are forgotten (they
    // would be admitted anyway). While that many are all busy, new addresses wait too.
    static constexpr std::size_t kMaxAddresses = 4096;
    // How often one address gets a token.
    static constexpr int32_t kTokenMs = 1000 / kPerSecond;

    // True when a connection from szAddress (its raw bytes) may be taken now; takes its token.
    bool Admit(const std::string& szAddress, int32_t lNow);
    std::size_t Addresses() const { return buckets_.size(); }

private:
    struct Bucket {
        int32_t lFull; // tick at which the bucket is full again
    };
    std::unordered_map<std::string, Bucket> buckets_;
};

} // namespace zaplo
