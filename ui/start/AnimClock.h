// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace zaplo {

// Deadlines and scan-line state of the intro animation. Zero at the first start screen; later
// start screens go on with what the previous intro left.
struct AnimClock {
    int32_t lNextAsm = 0;     // scrolling panel redrawn once the clock is past this tick
    int32_t lNextLogo = 0;    // next logo frame
    int32_t lNextCredit = 0;  // next credit-line step
    int32_t lNextExplain = 0; // next explanation update
    uint8_t nLogoFrame = 0;   // index into picFrames of the frame shown last
    int16_t nScanX = 0;       // x of the vertical scan line Line1
    int16_t nScanStepX = 0;   // +3 or -3
    int16_t nScanY = 0;       // y of the horizontal scan line Line2
    int16_t nScanStepY = 0;   // +2 or -2
    int16_t nAngle = 0;       // degrees of the credit line
};

} // namespace zaplo
