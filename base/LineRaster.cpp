// SPDX-License-Identifier: MIT
#include "base/LineRaster.h"

#include <algorithm>

namespace zaplo {

namespace {

// Coordinates may be any int, so products of distances need more than 64 bits.
__extension__ using Wide = __int128;

Wide CeilDiv(Wide num, Wide den) { // num >= 0, den > 0
    return (num + den - 1) / den;
}

// The line seen along its major and minor axes.
struct Axes {
    bool xMajor = true;
    int64_t n = 0; // steps along the major axis
    int64_t m = 0; // distance along the minor axis
    int majorStep = 1;
    int minorStep = 1;
    int64_t p0 = 0; // major coordinate of step 0
    int64_t q0 = 0; // minor coordinate of step 0
    int64_t majorLimit = 0;
    int64_t minorLimit = 0;
};

// The steps lo..hi; none when lo > hi.
struct StepRange {
    int64_t lo = 0;
    int64_t hi = 0;
};

Axes AxesOf(int width, int height, int x1, int y1, int x2, int y2) {
    const int64_t dx = int64_t{x2} - x1;
    const int64_t dy = int64_t{y2} - y1;
    const int64_t ax = dx < 0 ? -dx : dx;
    const int64_t ay = dy < 0 ? -dy : dy;
    Axes l;
    l.xMajor = ax >= ay;
    l.n = l.xMajor ? ax : ay;
    l.m = l.xMajor ? ay : ax;
    const int64_t majorDelta = l.xMajor ? dx : dy;
    const int64_t minorDelta = l.xMajor ? dy : dx;
    l.majorStep = majorDelta < 0 ? -1 : 1;
    l.minorStep = minorDelta < 0 ? -1 : 1;
    l.p0 = l.xMajor ? x1 : y1;
    l.q0 = l.xMajor ? y1 : x1;
    l.majorLimit = l.xMajor ? width : height;
    l.minorLimit = l.xMajor ? height : width;
    return l;
}

// Major axis: p0 + majorStep * i must lie in [0, majorLimit).
StepRange MajorRange(const Axes& l) {
    StepRange r{0, l.n - 1};
    if (l.majorStep > 0) {
        r.lo = std::max(r.lo, -l.p0);
        r.hi = std::min(r.hi, l.majorLimit - 1 - l.p0);
    } else {
        r.lo = std::max(r.lo, l.p0 - l.majorLimit + 1);
        r.hi = std::min(r.hi, l.p0);
    }
    return r;
}

// Minor axis: the offset k_i = floor((2im + n) / 2n) must lie in [a, b]. k_i never decreases,
// so each bound cuts off a prefix or a suffix of the steps. False when no step is left.
bool CutByMinor(const Axes& l, StepRange& r) {
    const int64_t a = l.minorStep > 0 ? -l.q0 : l.q0 - l.minorLimit + 1;
    const int64_t b = l.minorStep > 0 ? l.minorLimit - 1 - l.q0 : l.q0;
    if (b < 0) {
        return false;
    }
    if (l.m == 0) {
        return a <= 0;
    }
    // k_i >= a  <=>  2im >= n(2a - 1);  k_i <= b  <=>  2im < n(2b + 1).
    if (a > 0) {
        const Wide first = CeilDiv(Wide{l.n} * (2 * Wide{a} - 1), 2 * Wide{l.m});
        if (first > r.hi) {
            return false;
        }
        r.lo = std::max(r.lo, static_cast<int64_t>(first));
    }
    const Wide last = CeilDiv(Wide{l.n} * (2 * Wide{b} + 1), 2 * Wide{l.m}) - 1;
    if (last < r.lo) {
        return false;
    }
    r.hi = std::min(r.hi, static_cast<int64_t>(last));
    return true;
}

// The run of steps r, which lies inside the image, with the pixel and error at its first step.
LineClip ClipOf(const Axes& l, const StepRange& r) {
    const Wide num = 2 * Wide{r.lo} * l.m + l.n;
    const auto k = static_cast<int64_t>(num / (2 * Wide{l.n}));
    const int64_t major = l.p0 + l.majorStep * r.lo;
    const int64_t minor = l.q0 + l.minorStep * k;
    LineClip clip;
    clip.count = r.hi - r.lo + 1;
    clip.first = r.lo;
    clip.x = static_cast<int>(l.xMajor ? major : minor);
    clip.y = static_cast<int>(l.xMajor ? minor : major);
    clip.xMajor = l.xMajor;
    clip.majorStep = l.majorStep;
    clip.minorStep = l.minorStep;
    clip.error = static_cast<int64_t>(num % (2 * Wide{l.n}));
    clip.errorStep = 2 * l.m;
    clip.errorLimit = 2 * l.n;
    return clip;
}

} // namespace

LineClip ClipLine(int width, int height, int x1, int y1, int x2, int y2) {
    if (width <= 0 || height <= 0) {
        return LineClip();
    }
    const Axes line = AxesOf(width, height, x1, y1, x2, y2);
    if (line.n == 0) {
        return LineClip();
    }
    StepRange steps = MajorRange(line);
    if (!CutByMinor(line, steps) || steps.lo > steps.hi) {
        return LineClip();
    }
    return ClipOf(line, steps);
}

} // namespace zaplo
