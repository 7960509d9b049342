// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace zaplo {

// The pixels of a line from (x1, y1) towards (x2, y2), as every participant must paint them.
//
// Let n = max(|dx|, |dy|) and m = min(|dx|, |dy|); the major axis is x when |dx| >= |dy|. Step i
// (0 <= i < n) lies i pixels from the start along the major axis and round(i * m / n) pixels along
// the minor axis, an exact half rounding away from the start point. Step n, the end point, is not
// part of the line, so a zero-length line has no pixels. (Drawing the line the other way round may
// therefore pick the other pixel at a tie.)
//
// LineClip finds, in O(1), the run of steps whose pixels lie inside a width x height image. Those
// steps are consecutive because both coordinates move monotonically.
struct LineClip {
    int64_t count = 0; // steps inside the image; 0 when the line misses it
    int64_t first = 0; // index of the first of them
    int x = 0;         // pixel of step `first`
    int y = 0;
    bool xMajor = true;
    int majorStep = 1;      // +1 or -1 along the major axis
    int minorStep = 1;      // +1 or -1 along the minor axis
    int64_t error = 0;      // 2 * i * m + n - 2 * n * k at step `first`, in [0, 2n)
    int64_t errorStep = 0;  // 2m
    int64_t errorLimit = 0; // 2n
};

LineClip ClipLine(int width, int height, int x1, int y1, int x2, int y2);

// Calls plot(x, y) for every in-image pixel of the line, in order from the start, and returns the
// number of calls. The loop runs exactly that many times, whatever the length of the whole line.
template <typename Plot>
int64_t RasterLine(int width, int height, int x1, int y1, int x2, int y2, Plot&& plot) {
    const LineClip c = ClipLine(width, height, x1, y1, x2, y2);
    int x = c.x;
    int y = c.y;
    int64_t error = c.error;
    for (int64_t i = 0; i < c.count; ++i) {
        plot(x, y);
        error += c.errorStep;
        const bool minorMove = error >= c.errorLimit;
        if (minorMove) {
            error -= c.errorLimit;
        }
        if (c.xMajor) {
            x += c.majorStep;
            if (minorMove) {
                y += c.minorStep;
            }
        } else {
            y += c.majorStep;
            if (minorMove) {
                x += c.minorStep;
            }
        }
    }
    return c.count;
}

} // namespace zaplo
