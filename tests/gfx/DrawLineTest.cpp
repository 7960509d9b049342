// SPDX-License-Identifier: MIT
#include "gfx/DrawLine.h"

#include "base/LineRaster.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

namespace zaplo {
namespace {

using Pixels = std::vector<std::pair<int, int>>; // (x, y), sorted

// Nearest integer to num / den (den > 0); an exact half goes up when `up`.
int64_t Round(int64_t num, int64_t den, bool up) {
    const int64_t a = 2 * num + den - (up ? 0 : 1);
    return a / (2 * den) - (a % (2 * den) < 0 ? 1 : 0); // rounded down
}

// Independent model: step i of n = max(|dx|, |dy|) is start + i / n * (end - start), rounded to
// the nearest pixel with an exact half towards the end; the end point is left out. Returns the
// steps inside a w x h image.
Pixels Reference(int w, int h, int x1, int y1, int x2, int y2) {
    const int64_t dx = int64_t{x2} - x1;
    const int64_t dy = int64_t{y2} - y1;
    const int64_t n = std::max(std::abs(dx), std::abs(dy));
    Pixels out;
    for (int64_t i = 0; i < n; ++i) {
        const int64_t x = Round(x1 * n + i * dx, n, dx > 0);
        const int64_t y = Round(y1 * n + i * dy, n, dy > 0);
        if (x >= 0 && x < w && y >= 0 && y < h) {
            out.emplace_back(static_cast<int>(x), static_cast<int>(y));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The pixels DrawLine paints; each must have the colour (red + 256 * green + 65536 * blue).
Pixels Draw(int w, int h, int x1, int y1, int x2, int y2) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::black);
    DrawLine(image, x1, y1, x2, y2, 0x563412);
    Pixels out;
    for (int i = 0; i < w * h; ++i) { // in (x, y) order
        if (const QRgb p = image.pixel(i / h, i % h); p != qRgb(0, 0, 0)) {
            EXPECT_EQ(p, qRgb(0x12, 0x34, 0x56));
            out.emplace_back(i / h, i % h);
        }
    }
    return out;
}

TEST(DrawLine, EveryDirectionMatchesTheModel) {
    // Worked by hand: ties round away from the start, so the reverse line differs.
    EXPECT_EQ(Draw(8, 8, 0, 0, 4, 2), (Pixels{{0, 0}, {1, 1}, {2, 1}, {3, 2}}));
    EXPECT_EQ(Draw(8, 8, 4, 2, 0, 0), (Pixels{{1, 0}, {2, 1}, {3, 1}, {4, 2}}));
    for (int dy = -20; dy <= 20; ++dy) {
        for (int dx = -20; dx <= 20; ++dx) {
            const Pixels painted = Draw(64, 64, 32, 32, 32 + dx, 32 + dy);
            SCOPED_TRACE(testing::Message() << dx << "," << dy);
            EXPECT_EQ(painted, Reference(64, 64, 32, 32, 32 + dx, 32 + dy));
            // The start is painted unless the line has no length; the end never is.
            EXPECT_EQ(std::ranges::count(painted, std::pair(32, 32)), dx || dy ? 1 : 0);
            EXPECT_EQ(std::ranges::count(painted, std::pair(32 + dx, 32 + dy)), 0);
        }
    }
}

TEST(DrawLine, ClippedAndExtremeLinesMatchTheModelAtACostBoundedByTheImage) {
    std::mt19937 random(20240611U);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution(lo, hi)(random); };
    for (int trial = 0; trial < 1500; ++trial) {
        // Every fifth line starts anywhere in 16 bits and is aimed back across the image.
        const bool far = trial % 5 == 0;
        const int x1 = far ? pick(INT16_MIN, INT16_MAX) : pick(-200, 260);
        const int y1 = far ? pick(INT16_MIN, INT16_MAX) : pick(-200, 250);
        const int x2 = far ? 61 - x1 + pick(-6, 6) : pick(-200, 260);
        const int y2 = far ? 47 - y1 + pick(-6, 6) : pick(-200, 250);
        EXPECT_EQ(Draw(61, 47, x1, y1, x2, y2), Reference(61, 47, x1, y1, x2, y2))
            << x1 << "," << y1 << " to " << x2 << "," << y2;
    }
    // The last but two misses the image; the last two are beyond 16 bits.
    constexpr int L = INT16_MIN, H = INT16_MAX, m = INT_MIN, M = INT_MAX;
    const int lines[][4] = {{L, L, H, H},     {H, H, L, L},          {L, H, H, L},
                            {H, 10, L, 11},   {-30000, L, 30000, H}, {5, H, 5, L},
                            {L, L, H, L + 1}, {m, m, M, M},          {m, 35, M, 36}};
    for (const auto& l : lines) {
        SCOPED_TRACE(testing::Message() << l[0] << "," << l[1] << " to " << l[2] << "," << l[3]);
        const Pixels painted = Draw(90, 70, l[0], l[1], l[2], l[3]);
        if (std::all_of(l, l + 4, [](int v) { return v >= L && v <= H; })) {
            EXPECT_EQ(painted, Reference(90, 70, l[0], l[1], l[2], l[3]));
        }
        // Every step of the loop paints a pixel of the image: none is spent outside it.
        int64_t calls = 0;
        RasterLine(90, 70, l[0], l[1], l[2], l[3], [&](int, int) { ++calls; });
        EXPECT_EQ(calls, static_cast<int64_t>(painted.size()));
        EXPECT_LE(calls, 90);
    }
    QImage empty;
    DrawLine(empty, 0, 0, 10, 10, 0); // a null image is left alone
    EXPECT_TRUE(empty.isNull());
}

} // namespace
} // namespace zaplo
