// SPDX-License-Identifier: MIT
#include "gfx/DrawFontText.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>

namespace zaplo {
namespace {

// Red (red + 256 * green + 65536 * blue) text drawn at (20, 150) on white.
QImage Text(int angle, int32_t background, int cell = 12) {
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    DrawFontText(image, 20, 150, angle, QStringLiteral("Hello, Zaplo"), static_cast<uint8_t>(cell),
                 false, 0x0000FF, background, QStringLiteral("DejaVu Sans"));
    return image;
}

// The pixels of `area` that pass `test`: how many, and the box around them.
std::pair<int, QRect> Find(const QImage& image, const QRect& area, bool (*test)(QRgb)) {
    std::pair<int, QRect> found;
    for (int i = 0; i < area.width() * area.height(); ++i) {
        const QPoint p = area.topLeft() + QPoint(i % area.width(), i / area.width());
        if (test(image.pixel(p))) {
            found = {found.first + 1, found.second | QRect(p, p)};
        }
    }
    return found;
}

QRect Ink(const QImage& image) {
    return Find(image, image.rect(), [](QRgb p) { return p != qRgb(255, 255, 255); }).second;
}

TEST(DrawFontText, OpaqueCellsHideTheSurfaceTransparentOnesShowIt) {
    for (const int cell : {8, 12, 19, 33}) {
        SCOPED_TRACE(cell);
        const QImage image = Text(0, 0, cell);
        const QRect box = Ink(image);
        // Red on black cells from (20, 150), `cell` pixels high: no white shows inside.
        EXPECT_EQ(box, QRect(20, 150, std::max(box.width(), cell + 1), cell));
        const auto dark = [](QRgb p) { return qGreen(p) == 0 && qBlue(p) == 0; };
        EXPECT_EQ(Find(image, box, dark).first, box.width() * box.height());
        EXPECT_GT(Find(image, box, [](QRgb p) { return qRed(p) > 128; }).first, 0);
        EXPECT_GT(Find(image, box, [](QRgb p) { return qRed(p) == 0; }).first, cell * cell / 3);
    }
    const QImage image = Text(0, -1);
    const QRect box = Ink(image);
    EXPECT_TRUE(QRect(20, 150, 300, 12).contains(box)) << "ink stays inside the cells";
    const auto red = [](QRgb p) { return qRed(p) == 255; };
    EXPECT_EQ(Find(image, box, red).first, box.width() * box.height());
    EXPECT_GT(Find(image, box, [](QRgb p) { return p == qRgb(255, 255, 255); }).first, 0);
}

TEST(DrawFontText, NinetyDegreesRunsUpwardsAndFullTurnsDrawLikeZero) {
    const QImage flat = Text(0, 0);
    const QRect a = Ink(flat);
    const QRect b = Ink(Text(90, 0));
    // Turned counter-clockwise about (20, 150): the line rises from y 150, its cells to the right.
    EXPECT_EQ(b.left(), 20);
    EXPECT_EQ(b.bottom(), 149);
    EXPECT_EQ(b.width(), a.height());
    EXPECT_NEAR(b.height(), a.width(), 1); // turned glyphs are unhinted
    for (const int angle : {360, 720, -360}) {
        EXPECT_EQ(Text(angle, 0), flat) << angle;
    }
    EXPECT_NE(Text(8, 0), flat);
}

} // namespace
} // namespace zaplo
