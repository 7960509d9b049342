// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

struct Bot;
struct BotOptions;

// Counts over all bots, and the latency samples that the final report is made of.
struct BotStats {
    struct Sample {
        int64_t sendNs;
        int64_t latNs;
    };

    std::vector<Sample> samples;
    int64_t delivered = 0;
    int64_t lastReceiptNs = 0;
    int sampleMask = 0; // keep a sample when (seq & mask) == 0
    int pairsSynced = 0;
    int64_t parseErrors = 0;

    // A data record that arrived for the first time.
    void Delivered(int64_t seq, int64_t sendNs, int64_t nowNs) {
        ++delivered;
        lastReceiptNs = nowNs;
        if ((seq & sampleMask) == 0) {
            samples.push_back({sendNs, nowNs - sendNs});
        }
    }

    // Prints the "RESULT key=value ..." line for a send phase from t0 to tSendEnd.
    void PrintResult(const BotOptions& opt, const std::vector<Bot>& bots, int64_t nExpected,
                     int64_t t0, int64_t tSendEnd) const;
};
