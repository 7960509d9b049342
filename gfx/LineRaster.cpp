#include "gfx/LineRaster.h"

#include <algorithm>

namespace zaplo {

namespace {

// Coordinates may be any int, so products of distances need more than 64 bits.
__extension__ using Wide = __int128;

Wide CeilDiv(Wide num, Wide den) { // num >= 0, den > 0
    return (num + den - 1) / den;
}

} // namespace

LineClip ClipLine(int width, int height, int x1, int y1, int x2, int y2) {
    LineClip clip;
    if (width <= 0 || height <= 0) {
        return clip;
    }
    const int64_t dx = int64_t{x2} - x1;
    const int64_t dy = int64_t{y2} - y1;
    const int64_t ax = dx < 0 ? -dx : dx;
    const int64_t ay = dy < 0 ? -dy : dy;
    const bool xMajor = ax >= ay;
    const int64_t n = xMajor ? ax : ay;
    const int64_t m = xMajor ? ay : ax;
    if (n == 0) {
        return clip;
    }
    const int64_t majorDelta = xMajor ? dx : dy;
    const int64_t minorDelta = xMajor ? dy : dx;
    const int majorStep = majorDelta < 0 ? -1 : 1;
    const int minorStep = minorDelta < 0 ? -1 : 1;
    const int64_t p0 = xMajor ? x1 : y1; // major coordinate of step 0
    const int64_t q0 = xMajor ? y1 : x1; // minor coordinate of step 0
    const int64_t majorLimit = xMajor ? width : height;
    const int64_t minorLimit = xMajor ? height : width;

    // Major axis: p0 + majorStep * i must lie in [0, majorLimit).
    int64_t lo = 0;
    int64_t hi = n - 1;
    if (majorStep > 0) {
        lo = std::max(lo, -p0);
        hi = std::min(hi, majorLimit - 1 - p0);
    } else {
        lo = std::max(lo, p0 - majorLimit + 1);
        hi = std::min(hi, p0);
    }

    // Minor axis: the offset k_i = floor((2im + n) / 2n) must lie in [a, b]. k_i never decreases,
    // so each bound cuts off a prefix or a suffix of the steps.
    const int64_t a = minorStep > 0 ? -q0 : q0 - minorLimit + 1;
    const int64_t b = minorStep > 0 ? minorLimit - 1 - q0 : q0;
    if (b < 0) {
        return clip;
    }
    if (m == 0) {
        if (a > 0) {
            return clip;
        }
    } else {
        // k_i >= a  <=>  2im >= n(2a - 1);  k_i <= b  <=>  2im < n(2b + 1).
        if (a > 0) {
            const Wide first = CeilDiv(Wide{n} * (2 * Wide{a} - 1), 2 * Wide{m});
            if (first > hi) {
                return clip;
            }
            lo = std::max(lo, static_cast<int64_t>(first));
        }
        const Wide last = CeilDiv(Wide{n} * (2 * Wide{b} + 1), 2 * Wide{m}) - 1;
        if (last < lo) {
            return clip;
        }
        hi = std::min(hi, static_cast<int64_t>(last));
    }
    if (lo > hi) {
        return clip;
    }

    const Wide num = 2 * Wide{lo} * m + n;
    const auto k = static_cast<int64_t>(num / (2 * Wide{n}));
    const int64_t major = p0 + majorStep * lo;
    const int64_t minor = q0 + minorStep * k;
    clip.count = hi - lo + 1;
    clip.first = lo;
    clip.x = static_cast<int>(xMajor ? major : minor);
    clip.y = static_cast<int>(xMajor ? minor : major);
    clip.xMajor = xMajor;
    clip.majorStep = majorStep;
    clip.minorStep = minorStep;
    clip.error = static_cast<int64_t>(num % (2 * Wide{n}));
    clip.errorStep = 2 * m;
    clip.errorLimit = 2 * n;
    return clip;
}

} // namespace zaplo
