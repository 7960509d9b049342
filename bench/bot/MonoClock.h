// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ctime>

// Nanoseconds on CLOCK_MONOTONIC, the clock that stamps every record.
inline int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}
