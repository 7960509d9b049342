// SPDX-License-Identifier: MIT
#pragma once

#include "base/Colour.h"
#include "ui/start/IntroAnimation.h"

#include <array>
#include <cstdint>

namespace zaplo {

// The start screen's fixed figures: where its lines start, how the moving ones bounce, and what
// the explanation and the scrolling panel show.

struct IntroLine {
    Segment at; // at creation
    int32_t clr;
};

// Line1 .. Line6, then Lined 0 .. 3.
inline constexpr std::array<IntroLine, 10> kIntroLines{{
    {{48, 8, 48, 320}, PackColour(0, 0, 255)},      // Line1: vertical scan line
    {{16, 72, 480, 72}, PackColour(192, 192, 255)}, // Line2: horizontal scan line
    {{368, 160, 368, 368}, PackColour(0, 0, 255)},  // Line3
    {{24, 232, 504, 232}, PackColour(128, 128, 255)},
    {{192, 152, 240, 152}, PackColour(0, 0, 255)},     // Line5: connector, across
    {{240, 128, 240, 152}, PackColour(128, 128, 255)}, // Line6: connector, up or down
    {{392, 128, 392, 208}, PackColour(0, 0, 255)},     // Lined 0: left
    {{392, 128, 488, 128}, PackColour(0, 0, 255)},     // Lined 1: top
    {{392, 208, 488, 208}, PackColour(0, 0, 255)},     // Lined 2: bottom
    {{488, 128, 488, 208}, PackColour(0, 0, 255)},     // Lined 3: right
}};

// A value that moves by `nSpeed` per frame and turns once it has passed a bound. The turn is
// tested before the step, so the value overshoots by one step. A scan line also snaps back to
// its low bound when it turns there; the frame's sides do not.
struct BounceRange {
    int16_t nLow;
    int16_t nHigh;
    int16_t nSpeed;
    bool bSnapToLow;
};

inline constexpr BounceRange kScanX{48, 96, 3, true};
inline constexpr BounceRange kScanY{72, 96, 2, true};
inline constexpr std::array<BounceRange, 4> kFrameSides{{
    {372, 432, 4, false},
    {108, 160, 4, false},
    {176, 228, 4, false},
    {448, 508, 4, false},
}};
inline constexpr std::array<int16_t, 4> kFrameStartPos{372, 108, 228, 508};
inline constexpr std::array<int16_t, 4> kFrameStartStep{4, 4, -4, -4};

struct ExplainRow {
    int nLineY; // Line5, both ends; Line6 from here
    int nEndY;  // to here
    int nTop;   // lblExplain
    const char* szText;
};
inline constexpr ExplainRow kExplainClient{176, 200, 182, "Usual client mode."};
inline constexpr ExplainRow kExplainServer{152, 128, 112, "All data is transfered \ntrough you."};

inline constexpr std::array<const char*, 13> kAsmTexts{
    "mov ax, 0xA000", "mov es, ax",    "mov ax, [y]",    "mov dx, ax",  "xchg ah, al",
    "mov cl, 6",      "shl dx, cl",    "add ax, dx",     "mov dx, [x]", "add ax, dx",
    "mov di, ax",     "mov ah, [clr]", "mov es:[di], ah"};

inline constexpr int32_t kLogoPeriod = 200;
inline constexpr int32_t kCreditPeriod = 19;
inline constexpr int32_t kExplainPeriod = 350;
inline constexpr int32_t kAsmPeriod = 100;
inline constexpr int kAsmInnerHeight = 126; // the 130-pixel panel less its border

} // namespace zaplo
