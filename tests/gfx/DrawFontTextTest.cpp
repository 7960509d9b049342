#include "gfx/DrawFontText.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>

#include <gtest/gtest.h>

#include <cstdint>

namespace zaplo {
namespace {

const QString kFace = QStringLiteral("DejaVu Sans");
constexpr int32_t kRed = 0x0000FF; // red + 256 * green + 65536 * blue
constexpr int32_t kBlue = 0xFF0000;

QImage WhiteImage(int width = 240, int height = 200) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

struct Box {
    int left = INT32_MAX;
    int top = INT32_MAX;
    int right = -1; // inclusive
    int bottom = -1;
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};

Box NonWhiteBox(const QImage& image) {
    Box box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x);
                box.bottom = std::max(box.bottom, y);
            }
        }
    }
    return box;
}

int CountPixels(const QImage& image, const Box& box, bool (*test)(QRgb)) {
    int count = 0;
    for (int y = box.top; y <= box.bottom; ++y) {
        for (int x = box.left; x <= box.right; ++x) {
            if (test(image.pixel(x, y))) {
                ++count;
            }
        }
    }
    return count;
}

TEST(DrawFontText, OpaqueBackgroundFillsTheCharacterCells) {
    for (const int cell : {8, 12, 19, 33}) {
        SCOPED_TRACE(cell);
        QImage image = WhiteImage();
        DrawFontText(image, 10, 20, 0, QStringLiteral("Hello, Zaplo"), static_cast<uint8_t>(cell),
                     false, kRed, 0, kFace);
        const Box box = NonWhiteBox(image);
        // (x, y) is the top-left corner of the first cell, and the cells are `cell` pixels high.
        EXPECT_EQ(box.left, 10);
        EXPECT_EQ(box.top, 20);
        EXPECT_EQ(box.Height(), cell);
        EXPECT_GT(box.Width(), cell);
        const int area = box.Width() * box.Height();
        // Red letters on black cells: no white shows anywhere in the cells.
        EXPECT_EQ(CountPixels(image, box, [](QRgb p) { return qGreen(p) == 0 && qBlue(p) == 0; }),
                  area);
        EXPECT_GT(CountPixels(image, box, [](QRgb p) { return qRed(p) > 128; }), 0);
        EXPECT_GT(CountPixels(image, box, [](QRgb p) { return qRed(p) == 0; }), area / 3);
    }
}

TEST(DrawFontText, TransparentBackgroundShowsTheSurface) {
    QImage image = WhiteImage();
    DrawFontText(image, 10, 20, 0, QStringLiteral("Hello, Zaplo"), 12, false, kBlue, -1, kFace);
    const Box box = NonWhiteBox(image);
    ASSERT_GE(box.right, box.left) << "nothing drawn";
    // The ink stays inside the cells; between the strokes the white surface shows.
    EXPECT_GE(box.left, 10);
    EXPECT_GE(box.top, 20);
    EXPECT_LT(box.bottom, 20 + 12);
    EXPECT_EQ(CountPixels(image, box, [](QRgb p) { return qBlue(p) == 255; }),
              box.Width() * box.Height());
    EXPECT_GT(CountPixels(image, box, [](QRgb p) { return p == qRgb(255, 255, 255); }), 0);
    EXPECT_GT(CountPixels(image, box, [](QRgb p) { return qRed(p) < 64; }), 0);
}

TEST(DrawFontText, NinetyDegreesRunsUpwardsFromThePoint) {
    QImage flat = WhiteImage();
    DrawFontText(flat, 20, 150, 0, QStringLiteral("Zaplo"), 12, true, kRed, 0, kFace);
    QImage up = WhiteImage();
    DrawFontText(up, 20, 150, 90, QStringLiteral("Zaplo"), 12, true, kRed, 0, kFace);
    const Box a = NonWhiteBox(flat);
    const Box b = NonWhiteBox(up);
    // Turned counter-clockwise about (20, 150): the line rises from y 150, its cells to the right.
    EXPECT_EQ(b.left, 20);
    EXPECT_EQ(b.bottom, 149);
    EXPECT_EQ(b.Width(), a.Height());
    // Turned glyphs are rendered unhinted, so their ink may reach one pixel further.
    EXPECT_NEAR(b.Height(), a.Width(), 1);
}

TEST(DrawFontText, FullTurnsDrawLikeZero) {
    QImage zero = WhiteImage();
    DrawFontText(zero, 30, 40, 0, QStringLiteral("Gathering..."), 12, false, kBlue, 0, kFace);
    for (const int angle : {360, 720, -360}) {
        SCOPED_TRACE(angle);
        QImage turned = WhiteImage();
        DrawFontText(turned, 30, 40, angle, QStringLiteral("Gathering..."), 12, false, kBlue, 0,
                     kFace);
        EXPECT_EQ(turned, zero);
    }
    QImage other = WhiteImage();
    DrawFontText(other, 30, 40, 8, QStringLiteral("Gathering..."), 12, false, kBlue, 0, kFace);
    EXPECT_NE(other, zero);
}

TEST(DrawFontText, BoldAndMissingFaces) {
    const auto ink = [](bool bold, const QString& face) {
        QImage image = WhiteImage();
        DrawFontText(image, 5, 5, 0, QStringLiteral("WWWW mmmm"), 20, bold, kBlue, -1, face);
        return CountPixels(image, Box{0, 0, image.width() - 1, image.height() - 1},
                           [](QRgb p) { return qRed(p) < 128; });
    };
    const int regular = ink(false, kFace);
    EXPECT_GT(ink(true, kFace), regular);
    // A face that is not installed falls back to another one: the text still appears.
    EXPECT_GT(ink(false, QStringLiteral("Arial")), 0);
    EXPECT_GT(ink(false, QStringLiteral("No Such Face Anywhere")), 0);
}

TEST(DrawFontText, LeavesTheSurfaceFreeForTheNextPainter) {
    QImage image = WhiteImage();
    DrawFontText(image, 5, 5, 45, QStringLiteral("x"), 12, false, kRed, 0, kFace);
    EXPECT_FALSE(image.paintingActive());
    QPainter painter(&image);
    EXPECT_TRUE(painter.isActive());
    // A fresh painter starts untransformed: the call's rotation did not stay on the surface.
    EXPECT_TRUE(painter.transform().isIdentity());
}

} // namespace
} // namespace zaplo
