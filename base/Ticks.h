// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace zaplo {

// Milliseconds since an arbitrary start, as a signed 32-bit number that wraps like a counter.
int32_t GetTicks();

// True when the reading `now` is later than `deadline`. Correct across the counter's wrap as long
// as the two are less than 2^31 ms apart.
bool TicksPast(int32_t now, int32_t deadline);

// now + interval on the wrapping counter; never overflows.
int32_t TicksAfter(int32_t now, int32_t interval);

} // namespace zaplo
