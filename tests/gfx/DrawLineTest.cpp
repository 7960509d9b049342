#include "gfx/DrawLine.h"
#include "gfx/LineRaster.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace zaplo {
namespace {

using Pixel = std::pair<int, int>; // (x, y)

// num / den rounded to the nearest integer (den > 0); an exact half goes up when `up`, else down.
int64_t RoundRational(int64_t num, int64_t den, bool up) {
    int64_t q = num / den;
    int64_t r = num % den;
    if (r < 0) {
        q -= 1;
        r += den;
    }
    if (2 * r > den || (2 * r == den && up)) {
        ++q;
    }
    return q;
}

// Independent model of the line: step i of n = max(|dx|, |dy|) is the exact point
// start + i / n * (end - start), each coordinate rounded to the nearest pixel, an exact half
// towards the end point. The end point itself is left out.
std::vector<Pixel> ReferenceLine(int x1, int y1, int x2, int y2) {
    const int64_t dx = int64_t{x2} - x1;
    const int64_t dy = int64_t{y2} - y1;
    const int64_t n = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
    std::vector<Pixel> pixels;
    for (int64_t i = 0; i < n; ++i) {
        pixels.emplace_back(static_cast<int>(RoundRational(x1 * n + i * dx, n, dx > 0)),
                            static_cast<int>(RoundRational(y1 * n + i * dy, n, dy > 0)));
    }
    return pixels;
}

std::vector<Pixel> InImage(const std::vector<Pixel>& pixels, int width, int height) {
    std::vector<Pixel> inside;
    for (const Pixel& p : pixels) {
        if (p.first >= 0 && p.first < width && p.second >= 0 && p.second < height) {
            inside.push_back(p);
        }
    }
    std::sort(inside.begin(), inside.end());
    return inside;
}

constexpr QRgb kBackground = 0xFF102030U;

QImage BlankImage(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(QColor::fromRgb(kBackground));
    return image;
}

// Every pixel that is no longer the background, sorted.
std::vector<Pixel> Painted(const QImage& image) {
    std::vector<Pixel> pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != kBackground) {
                pixels.emplace_back(x, y);
            }
        }
    }
    std::sort(pixels.begin(), pixels.end());
    return pixels;
}

std::vector<Pixel> Draw(int width, int height, int x1, int y1, int x2, int y2) {
    QImage image = BlankImage(width, height);
    DrawLine(image, x1, y1, x2, y2, 0x00FFFFFF);
    return Painted(image);
}

TEST(DrawLine, TiesRoundAwayFromTheStart) {
    // Worked by hand: at steps 1 and 3 the exact point lies half-way between two rows.
    EXPECT_EQ(Draw(8, 8, 0, 0, 4, 2), (std::vector<Pixel>{{0, 0}, {1, 1}, {2, 1}, {3, 2}}));
    // The other way round the halves go the other way, so the same segment paints other pixels.
    EXPECT_EQ(Draw(8, 8, 4, 2, 0, 0), (std::vector<Pixel>{{1, 0}, {2, 1}, {3, 1}, {4, 2}}));
    // Steep: the same rule on the x axis.
    EXPECT_EQ(Draw(8, 8, 0, 0, 2, 4), (std::vector<Pixel>{{0, 0}, {1, 1}, {1, 2}, {2, 3}}));
}

TEST(DrawLine, EveryOctantAndAxisMatchesTheModel) {
    constexpr int kSize = 64;
    constexpr int kCentre = 32;
    for (int dy = -20; dy <= 20; ++dy) {
        for (int dx = -20; dx <= 20; ++dx) {
            SCOPED_TRACE(testing::Message() << "dx " << dx << " dy " << dy);
            const std::vector<Pixel> painted =
                Draw(kSize, kSize, kCentre, kCentre, kCentre + dx, kCentre + dy);
            const std::vector<Pixel> expected =
                InImage(ReferenceLine(kCentre, kCentre, kCentre + dx, kCentre + dy), kSize, kSize);
            ASSERT_EQ(painted, expected);
            const bool zero = dx == 0 && dy == 0;
            const auto has = [&](Pixel p) {
                return std::binary_search(painted.begin(), painted.end(), p);
            };
            EXPECT_EQ(has({kCentre, kCentre}), !zero) << "start pixel";
            EXPECT_FALSE(has({kCentre + dx, kCentre + dy})) << "end pixel";
            EXPECT_EQ(painted.size(), static_cast<size_t>(std::max(std::abs(dx), std::abs(dy))));
        }
    }
}

TEST(DrawLine, ZeroLengthPaintsNothing) {
    EXPECT_TRUE(Draw(16, 16, 5, 7, 5, 7).empty());
    EXPECT_TRUE(Draw(16, 16, 0, 0, 0, 0).empty());
    EXPECT_TRUE(Draw(16, 16, -3, 40, -3, 40).empty());
}

TEST(DrawLine, ColourLayoutInEveryFormat) {
    // red + 256 * green + 65536 * blue
    const int32_t colour = 0x12 + 256 * 0x34 + 65536 * 0x56;
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied,
          QImage::Format_RGB888}) {
        SCOPED_TRACE(static_cast<int>(format));
        QImage image = BlankImage(10, 10, format);
        DrawLine(image, 1, 1, 8, 1, colour);
        for (int x = 1; x < 8; ++x) {
            EXPECT_EQ(image.pixelColor(x, 1), QColor(0x12, 0x34, 0x56));
        }
        EXPECT_EQ(image.pixel(8, 1), kBackground);
        EXPECT_EQ(image.pixel(0, 1), kBackground);
    }
}

TEST(DrawLine, ClippedLinesPaintExactlyTheirInImagePixels) {
    constexpr int kWidth = 61;
    constexpr int kHeight = 47;
    std::mt19937 random(20240611U);
    std::uniform_int_distribution<int> nearX(-200, kWidth + 200);
    std::uniform_int_distribution<int> nearY(-200, kHeight + 200);
    std::uniform_int_distribution<int> far(INT16_MIN, INT16_MAX);
    for (int trial = 0; trial < 1500; ++trial) {
        const bool wide = trial % 5 == 0;
        const int x1 = wide ? far(random) : nearX(random);
        const int y1 = wide ? far(random) : nearY(random);
        // Aim most far lines at the image so that they do cross it.
        const int x2 = wide && trial % 2 == 0 ? kWidth - x1 + nearX(random) % 7 : nearX(random);
        const int y2 = wide && trial % 2 == 0 ? kHeight - y1 + nearY(random) % 7 : nearY(random);
        SCOPED_TRACE(testing::Message()
                     << "(" << x1 << "," << y1 << ") to (" << x2 << "," << y2 << ")");
        ASSERT_EQ(Draw(kWidth, kHeight, x1, y1, x2, y2),
                  InImage(ReferenceLine(x1, y1, x2, y2), kWidth, kHeight));
    }
}

TEST(DrawLine, ExtremeSixteenBitEndpoints) {
    constexpr int kWidth = 90;
    constexpr int kHeight = 70;
    const std::vector<std::pair<Pixel, Pixel>> lines = {
        {{INT16_MIN, INT16_MIN}, {INT16_MAX, INT16_MAX}},
        {{INT16_MAX, INT16_MAX}, {INT16_MIN, INT16_MIN}},
        {{INT16_MIN, INT16_MAX}, {INT16_MAX, INT16_MIN}},
        {{INT16_MAX, 10}, {INT16_MIN, 11}},
        {{-30000, INT16_MIN}, {30000, INT16_MAX}},
        {{INT16_MIN, 0}, {INT16_MAX, 0}},
        {{5, INT16_MAX}, {5, INT16_MIN}},
        {{INT16_MIN, -32000}, {INT16_MAX, 32767}},
    };
    for (const auto& [from, to] : lines) {
        SCOPED_TRACE(testing::Message() << "(" << from.first << "," << from.second << ") to ("
                                        << to.first << "," << to.second << ")");
        const std::vector<Pixel> expected =
            InImage(ReferenceLine(from.first, from.second, to.first, to.second), kWidth, kHeight);
        EXPECT_EQ(Draw(kWidth, kHeight, from.first, from.second, to.first, to.second), expected);
    }
}

TEST(DrawLine, LinesThatMissTheImagePaintNothing) {
    // Passes diagonally just outside the top-left corner: every pixel has x + y = -2.
    ASSERT_TRUE(InImage(ReferenceLine(-5, 3, 3, -5), 20, 20).empty());
    EXPECT_TRUE(Draw(20, 20, -5, 3, 3, -5).empty());
    EXPECT_TRUE(Draw(20, 20, INT16_MIN, -1, INT16_MAX, -1).empty());
    EXPECT_TRUE(Draw(20, 20, 20, INT16_MIN, 20, INT16_MAX).empty());
    EXPECT_TRUE(Draw(20, 20, INT16_MIN, INT16_MAX, INT16_MAX, INT16_MAX).empty());
    // Ends exactly where it would enter: the end pixel is never painted.
    EXPECT_TRUE(Draw(20, 20, -100, 0, 0, 0).empty());
    QImage empty;
    DrawLine(empty, 0, 0, 10, 10, 0); // a null image is left alone
    EXPECT_TRUE(empty.isNull());
}

TEST(DrawLine, FullIntRangeEndpoints) {
    // Worked by hand. Along x from INT_MIN to INT_MAX, n = 2^32 - 1 and the line climbs one row
    // at step 2^31, where x reaches 0: so row 1 is painted across the image and row 0 is not.
    std::vector<Pixel> rowOne;
    for (int x = 0; x < 30; ++x) {
        rowOne.emplace_back(x, 1);
    }
    EXPECT_EQ(Draw(30, 10, INT_MIN, 0, INT_MAX, 1), rowOne);
    std::vector<Pixel> diagonal;
    for (int i = 0; i < 10; ++i) {
        diagonal.emplace_back(i, i);
    }
    EXPECT_EQ(Draw(30, 10, INT_MIN, INT_MIN, INT_MAX, INT_MAX), diagonal);
    std::vector<Pixel> column;
    for (int y = 0; y < 10; ++y) {
        column.emplace_back(7, y);
    }
    EXPECT_EQ(Draw(30, 10, 7, INT_MAX, 7, INT_MIN), column);
}

TEST(LineRaster, WorkIsBoundedByTheImageNotTheLine) {
    constexpr int kWidth = 90;
    constexpr int kHeight = 70;
    const std::vector<std::pair<Pixel, Pixel>> lines = {
        {{INT16_MIN, INT16_MIN}, {INT16_MAX, INT16_MAX}},
        {{INT16_MIN, INT16_MAX}, {INT16_MAX, INT16_MIN}},
        {{INT16_MAX, 10}, {INT16_MIN, 11}},
        {{-30000, INT16_MIN}, {30000, INT16_MAX}},
        {{INT16_MIN, INT16_MIN}, {INT16_MAX, INT16_MIN + 1}}, // misses the image
        {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}},
        {{INT_MIN, 35}, {INT_MAX, 36}},
    };
    for (const auto& [from, to] : lines) {
        SCOPED_TRACE(testing::Message() << "(" << from.first << "," << from.second << ") to ("
                                        << to.first << "," << to.second << ")");
        int64_t calls = 0;
        int64_t outside = 0;
        const int64_t steps = RasterLine(kWidth, kHeight, from.first, from.second, to.first,
                                         to.second, [&](int x, int y) {
                                             ++calls;
                                             if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) {
                                                 ++outside;
                                             }
                                         });
        EXPECT_EQ(steps, calls);
        EXPECT_EQ(outside, 0);
        EXPECT_LE(calls, std::max(kWidth, kHeight));
        if (from.first >= INT16_MIN && to.first <= INT16_MAX && from.second >= INT16_MIN &&
            to.second <= INT16_MAX) {
            // Every iteration paints one pixel of the line: no walking outside the image.
            EXPECT_EQ(static_cast<size_t>(calls),
                      InImage(ReferenceLine(from.first, from.second, to.first, to.second), kWidth,
                              kHeight)
                          .size());
        }
    }
}

} // namespace
} // namespace zaplo
