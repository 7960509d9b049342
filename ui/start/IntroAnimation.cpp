// SPDX-License-Identifier: MIT
#include "ui/start/IntroAnimation.h"

#include "base/Ticks.h"
#include "ui/start/IntroTables.h"

#include <algorithm>
#include <cassert>

namespace zaplo {

namespace {

void Bounce(int16_t& nPos, int16_t& nStep, const BounceRange& range) {
    if (nPos < range.nLow) {
        nStep = range.nSpeed;
        if (range.bSnapToLow) {
            nPos = range.nLow;
        }
    }
    if (nPos > range.nHigh) {
        nStep = static_cast<int16_t>(-range.nSpeed);
    }
    nPos = static_cast<int16_t>(nPos + nStep);
}

// The line moved across to `v`: a vertical line along x, a horizontal one along y.
Segment MovedTo(const Segment& at, int v) {
    if (at.x1 == at.x2) {
        return {v, at.y1, v, at.y2};
    }
    return {at.x1, v, at.x2, v};
}

} // namespace

IntroAnimation::IntroAnimation(IntroMemory& memory) : memory_(memory) {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        lines_[i] = kIntroLines[i].at;
    }
    for (std::size_t i = 0; i < lined_.size(); ++i) {
        lined_[i] = kIntroLines[kLines + i].at;
    }
    nFramePos = kFrameStartPos;
    nFrameStep = kFrameStartStep;
    // Line 0 goes on from where the last intro left it; the others follow 10 pixels apart.
    for (std::size_t i = 0; i < asmLines.size(); ++i) {
        asmLines[i].szText = kAsmTexts[i];
        asmLines[i].nY = i == 0 ? memory_.nAsmTopY : static_cast<int16_t>(asmLines[i - 1].nY + 10);
    }
}

const Segment& IntroAnimation::Line(int n) const {
    assert(n >= 1 && n <= kLines);
    return lines_[static_cast<std::size_t>(n - 1)];
}

const Segment& IntroAnimation::Lined(int i) const {
    assert(i >= 0 && i < kSides);
    return lined_[static_cast<std::size_t>(i)];
}

IntroFrame IntroAnimation::Advance(const std::function<int32_t()>& getTicks) {
    AnimClock& clock = memory_.animClock;
    IntroFrame frame;
    // The steps read the clock in the order they are drawn.
    frame.bLogo = TakeDeadline(getTicks, clock.lNextLogo, kLogoPeriod);
    if (frame.bLogo) {
        StepLogo();
    }
    StepMovingLines();
    frame.bCredit = TakeDeadline(getTicks, clock.lNextCredit, kCreditPeriod);
    if (frame.bCredit) {
        StepCredit();
    }
    frame.bExplain = TakeDeadline(getTicks, clock.lNextExplain, kExplainPeriod);
    if (frame.bExplain) {
        StepExplain();
    }
    frame.bAsm = TakeDeadline(getTicks, clock.lNextAsm, kAsmPeriod);
    if (frame.bAsm) {
        StepAsm(frame);
    }
    return frame;
}

bool IntroAnimation::TakeDeadline(const std::function<int32_t()>& getTicks, int32_t& lNext,
                                  int32_t period) {
    const int32_t now = getTicks();
    // A deadline is never set more than one period ahead. One that lies further ahead is stale:
    // the counter has wrapped past it (a first intro after 24.8 days of uptime, or a start screen
    // that was away that long), so it counts as due rather than stalling the effect.
    if (!TicksPast(now, lNext) && !TicksPast(lNext, TicksAfter(now, period))) {
        return false;
    }
    // The next one is a full period after a fresh reading, so a late step does not catch up.
    lNext = TicksAfter(getTicks(), period);
    return true;
}

void IntroAnimation::StepLogo() {
    AnimClock& clock = memory_.animClock;
    clock.nLogoFrame = static_cast<uint8_t>(clock.nLogoFrame + 1);
    if (clock.nLogoFrame > 2) {
        clock.nLogoFrame = 0;
    }
}

void IntroAnimation::StepMovingLines() {
    AnimClock& clock = memory_.animClock;
    Bounce(clock.nScanX, clock.nScanStepX, kScanX);
    Bounce(clock.nScanY, clock.nScanStepY, kScanY);
    lines_[0] = MovedTo(lines_[0], clock.nScanX);
    lines_[1] = MovedTo(lines_[1], clock.nScanY);
    for (std::size_t i = 0; i < lined_.size(); ++i) {
        Bounce(nFramePos[i], nFrameStep[i], kFrameSides[i]);
        lined_[i] = MovedTo(lined_[i], nFramePos[i]);
    }
}

void IntroAnimation::StepCredit() {
    AnimClock& clock = memory_.animClock;
    clock.nAngle = static_cast<int16_t>(clock.nAngle + 8);
    if (clock.nAngle > 360) {
        clock.nAngle = static_cast<int16_t>(clock.nAngle - 360);
    }
}

void IntroAnimation::StepExplain() {
    // The connector runs from the button across to x = 240, then up (server) or down (client)
    // to the label.
    const ExplainRow& row = memory_.bOverServer ? kExplainServer : kExplainClient;
    lines_[4] = {192, row.nLineY, 240, row.nLineY};
    lines_[5] = {240, std::min(row.nLineY, row.nEndY), 240, std::max(row.nLineY, row.nEndY)};
    explain_ = {row.nTop, row.szText};
}

void IntroAnimation::StepAsm(IntroFrame& frame) {
    for (std::size_t i = 0; i < asmLines.size(); ++i) {
        AsmLine& line = asmLines[i];
        frame.asmTops[i] = static_cast<int16_t>(line.nY + 5);
        line.nY = static_cast<int16_t>(line.nY - 2);
        if (line.nY < -10) {
            line.nY = kAsmInnerHeight;
        }
    }
    memory_.nAsmTopY = asmLines[0].nY;
}

} // namespace zaplo
