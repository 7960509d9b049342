// SPDX-License-Identifier: MIT
#pragma once

#include "ui/start/IntroMemory.h"

#include <array>
#include <cstdint>
#include <functional>

namespace zaplo {

// A straight line between two points of the start screen's client area.
struct Segment {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    bool operator==(const Segment&) const = default;
};

// What one frame of the intro changed beyond the line positions: the timed steps that ran, and
// where the scrolling panel draws its texts (before the lines moved on).
struct IntroFrame {
    bool bLogo = false;
    bool bCredit = false;
    bool bExplain = false;
    bool bAsm = false;
    std::array<int16_t, 13> asmTops{}; // top of each panel text, when bAsm
};

// The intro animation's state and steps, without widgets: the start screen advances it once per
// frame and draws what it reports. Timing and scan-line state live in IntroMemory, so they carry
// over to the next intro; the bouncing frame and the panel lines start afresh with each one.
class IntroAnimation {
public:
    static constexpr int kLines = 6; // Line1 .. Line6
    static constexpr int kSides = 4; // Lined 0 .. 3: left, top, bottom and right side
    static constexpr int kAsmLines = 13;

    struct AsmLine {
        int16_t nY = 0; // top of the text, less 5, in the panel
        const char* szText = "";
    };
    struct Explanation {
        int nTop = 0; // of lblExplain
        const char* szText = "";
    };

    explicit IntroAnimation(IntroMemory& memory);

    // One frame: the timed steps whose deadline `getTicks` finds past, then the moving lines.
    IntroFrame Advance(const std::function<int32_t()>& getTicks);

    // Line1 .. Line6 for n = 1 .. 6, and Lined 0 .. 3, where they stand now.
    const Segment& Line(int n) const;
    const Segment& Lined(int i) const;
    // What lblExplain shows: "Gathering..." until the first explanation step, then the
    // explanation for the button the pointer had crossed last at that step.
    const Explanation& Explain() const { return explain_; }
    const IntroMemory& Memory() const { return memory_; }

    std::array<int16_t, kSides> nFramePos{};
    std::array<int16_t, kSides> nFrameStep{};
    std::array<AsmLine, kAsmLines> asmLines{};

private:
    bool TakeDeadline(const std::function<int32_t()>& getTicks, int32_t& lNext, int32_t period);
    void StepLogo();
    void StepMovingLines();
    void StepCredit();
    void StepExplain();
    void StepAsm(IntroFrame& frame);

    IntroMemory& memory_;
    std::array<Segment, kLines> lines_{};
    std::array<Segment, kSides> lined_{};
    Explanation explain_{112, "Gathering..."};
};

} // namespace zaplo
