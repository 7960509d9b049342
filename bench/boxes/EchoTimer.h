// SPDX-License-Identifier: MIT
#pragma once
// A talker's pings ("{1}{talker}ping<n>") and how long each took to come back.
#include "bench/boxes/BoxMeasure.h"

#include <set>
#include <string_view>
#include <vector>

class EchoTimer {
public:
    // Sends the next ping on fd.
    void Ping(int fd);
    // One line the talker received; an echo of a ping is timed.
    void Take(std::string_view line);
    // Pings still out count as the time they have waited so far.
    void Finish();

    const std::vector<double>& Echoes() const { return echoes_; }
    int Unanswered() const { return nLost_; }

private:
    std::vector<double> echoes_;
    std::vector<Clock::time_point> sentAt_;
    std::set<int> waiting_;
    int nLost_ = 0;
};
