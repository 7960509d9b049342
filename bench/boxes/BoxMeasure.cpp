// SPDX-License-Identifier: MIT
#include "bench/boxes/BoxMeasure.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return -1;
    }
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

double RssMb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            in >> kb;
            return kb / 1024.0;
        }
        std::getline(in, key);
    }
    return 0;
}

double CpuMs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    double ns = 0;
    in >> ns;
    return ns / 1e6;
}

double WaitIdle(pid_t pid, Clock::time_point t0, double nMaxMs) {
    for (;;) {
        const double before = CpuMs(pid);
        const double at = MsSince(t0);
        SleepMs(150);
        if (CpuMs(pid) - before < 3.0 || at > nMaxMs) {
            return at;
        }
    }
}
