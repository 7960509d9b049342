// SPDX-License-Identifier: MIT
#include "tools/artgen/SeededRandom.h"

namespace zaplo {

double SeededRandom::Unit() {
    return static_cast<double>(engine_() >> 8) / 16777216.0; // 24 bits are plenty for pictures
}

} // namespace zaplo
