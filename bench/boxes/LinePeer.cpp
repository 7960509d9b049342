// SPDX-License-Identifier: MIT
#include "bench/boxes/LinePeer.h"

double LinePeer::WaitLine(const std::string& prefix, Clock::time_point t0, double nMaxMs) {
    bool got = false;
    while (!got && MsSince(t0) < nMaxMs) {
        Pump(50, [&](std::string_view line) {
            if (line.substr(0, prefix.size()) == prefix) {
                got = true;
            }
        });
    }
    return got ? MsSince(t0) : -1;
}
