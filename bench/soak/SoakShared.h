// SPDX-License-Identifier: MIT
#pragma once
// What the soak's honest clients see, shared between their threads.
#include "bench/soak/SoakSocket.h"

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

constexpr int kHonest = 3;
constexpr int kNonReaders = 20;
constexpr int kDrawsPerSecond = 300;
constexpr int kChatsPerSecond = 10;

struct Shared {
    std::atomic<bool> bStop{false};
    std::array<std::atomic<long>, kHonest> drawsSent{};
    std::array<std::atomic<long>, kHonest> chatsSent{};
    std::mutex mutex;
    std::vector<double> echoMs;
    std::map<std::string, double> cutAtMs; // non-reader name -> when its departure was announced
    long nLost = 0;         // records and chat lines missing or out of order, summed over receivers
    int nHonestCut = 0;     // honest clients whose connection closed
    long nFloodRecords = 0; // flood records that reached an honest client (the most of them)
    SoakClock::time_point t0 = SoakClock::now();
};
