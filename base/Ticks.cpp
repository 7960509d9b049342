// SPDX-License-Identifier: MIT
#include "base/Ticks.h"

#include <ctime>

namespace zaplo {

int32_t GetTicks() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000U + static_cast<uint64_t>(ts.tv_nsec) / 1000000U;
    // Keep the low 32 bits and read them as signed, like a wrapping tick counter.
    return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

bool TicksPast(int32_t now, int32_t deadline) {
    // The signed distance from deadline to now, computed modulo 2^32.
    return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(deadline)) > 0;
}

int32_t TicksAfter(int32_t now, int32_t interval) {
    return static_cast<int32_t>(static_cast<uint32_t>(now) + static_cast<uint32_t>(interval));
}

} // namespace zaplo
