// SPDX-License-Identifier: MIT
#include "bench/soak/SoakStats.h"

#include <algorithm>

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return -1;
    }
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

double Max(const std::vector<double>& v) {
    return v.empty() ? -1 : *std::max_element(v.begin(), v.end());
}

std::vector<double> Joined(const std::vector<std::vector<double>>& parts) {
    std::vector<double> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}
