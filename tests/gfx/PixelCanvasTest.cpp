// SPDX-License-Identifier: MIT
// The canvas without Qt paints exactly what the window's line code paints on an image of the
// same size, so a host without a window keeps the same picture.
#include "base/PixelCanvas.h"
#include "gfx/DrawLine.h"
#include "gfx/QtColour.h"

#include <QImage>

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace zaplo {
namespace {

// Where the two pictures differ first, as "x,y"; empty when they are equal.
std::string FirstDifference(const PixelCanvas& canvas, const QImage& image) {
    for (int y = 0; y < PixelCanvas::kHeight; ++y) {
        for (int x = 0; x < PixelCanvas::kWidth; ++x) {
            if (canvas.Pixel(x, y) != QColorToColour(image.pixelColor(x, y))) {
                return std::to_string(x) + "," + std::to_string(y);
            }
        }
    }
    return {};
}

TEST(PixelCanvas, PaintsWhatTheWindowsLineCodePaintsAndClearsToTheBackground) {
    PixelCanvas canvas;
    QImage image(PixelCanvas::kWidth, PixelCanvas::kHeight, QImage::Format_RGB32);
    image.fill(ColourToQColor(PixelCanvas::kBackground));
    ASSERT_EQ(FirstDifference(canvas, image), "");

    struct Line {
        int sx, sy, dx, dy;
        int32_t clr;
    };
    // Edges, corners, far-outside and extreme points; a colour with its top byte set paints only
    // its low 24 bits, as a window's pixel does.
    std::vector<Line> lines = {
        {0, 0, PixelCanvas::kWidth, PixelCanvas::kHeight, 255},
        {PixelCanvas::kWidth - 1, 0, -1, PixelCanvas::kHeight - 1, 65280},
        {-5000, 100, 5000, 101, PackColour(1, 2, 3)},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, PackColour(200, 0, 9)},
        {-32768, 32767, 32767, -32768, 0},
        {10, -1, 10, 400, static_cast<int32_t>(0x7F00FF00)},
        {247, 352, 248, 353, 0},
        {30, 30, 30, 30, 0},   // no length: nothing
        {300, 0, 400, 352, 0}, // misses the canvas
    };
    const auto drawBoth = [&](const Line& line) {
        canvas.DrawSegment(line.sx, line.sy, line.dx, line.dy, line.clr);
        DrawLine(image, line.sx, line.sy, line.dx, line.dy, line.clr);
    };
    for (const Line& line : lines) {
        drawBoth(line);
    }
    EXPECT_EQ(FirstDifference(canvas, image), "");
    EXPECT_EQ(canvas.Pixel(0, 0), PackColour(200, 0, 9));
    EXPECT_EQ(canvas.Pixel(247, 352), 0);
    EXPECT_EQ(canvas.Pixel(10, 0), 65280);
    std::mt19937 random(19);
    std::uniform_int_distribution<int> coord(-400, 700);
    for (int i = 0; i < 300; ++i) {
        drawBoth({coord(random), coord(random), coord(random), coord(random),
                  static_cast<int32_t>(random() & 0xFFFFFF)});
    }
    EXPECT_EQ(FirstDifference(canvas, image), "");

    canvas.Erase();
    image.fill(ColourToQColor(PixelCanvas::kBackground));
    EXPECT_EQ(FirstDifference(canvas, image), "");
    // A row is the pixels of that row.
    canvas.DrawSegment(3, 7, 6, 7, 42);
    const std::span<const int32_t> row = canvas.Row(7);
    ASSERT_EQ(row.size(), std::size_t{PixelCanvas::kWidth});
    EXPECT_EQ(row[2], PixelCanvas::kBackground);
    EXPECT_EQ(row[3], 42);
    EXPECT_EQ(row[5], 42);
    EXPECT_EQ(row[6], PixelCanvas::kBackground);
    EXPECT_EQ(canvas.Row(6)[4], PixelCanvas::kBackground);
}

} // namespace
} // namespace zaplo
