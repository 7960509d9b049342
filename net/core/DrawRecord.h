// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace zaplo {

// One stroke segment as it travels in a "{10}" message.
struct DrawRecord {
    int16_t sx = 0;
    int16_t sy = 0;
    int16_t dx = 0;
    int16_t dy = 0;
    int32_t clr = 0; // red + 256 * green + 65536 * blue
};

} // namespace zaplo
