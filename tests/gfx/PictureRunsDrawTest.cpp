// SPDX-License-Identifier: MIT
// A picture sent as run records and drawn with the line code every participant uses comes out
// pixel for pixel: the runs end one past their last pixel because a line leaves its end out.
#include "base/Colour.h"
#include "gfx/DrawLine.h"
#include "gfx/QtColour.h"
#include "net/core/DrawPacket.h"
#include "net/core/PictureRuns.h"

#include <QImage>

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

namespace zaplo {
namespace {

TEST(PictureRunsDraw, RecordsRedrawAPictureExactly) {
    constexpr int kWidth = 37;
    constexpr int kHeight = 9;
    const int32_t background = PackColour(240, 240, 240);
    const int32_t palette[] = {background, 0, 255, 65280, PackColour(1, 2, 3)};
    std::mt19937 random(7);
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            // Runs of random length, the last column included.
            const int32_t clr = palette[(random() % 3 == 0 ? random() : x / 4 + y) % 5];
            picture.setPixel(x, y, ColourToRgb(clr));
        }
    }
    std::string szLines;
    std::vector<int32_t> row(kWidth);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            row[static_cast<std::size_t>(x)] = QColorToColour(picture.pixelColor(x, y));
        }
        PictureRuns::AppendRow(szLines, row, static_cast<int16_t>(y), background);
    }
    QImage copy(kWidth, kHeight, QImage::Format_RGB32);
    copy.fill(ColourToRgb(background));
    std::istringstream lines(szLines);
    int nRecords = 0;
    for (std::string szLine; std::getline(lines, szLine);) {
        ASSERT_EQ(szLine.substr(0, 4), "{10}");
        const auto record = ReadDrawPacket(szLine.substr(4, szLine.size() - 5)); // no CR
        ASSERT_TRUE(record.has_value()) << szLine;
        DrawLine(copy, record->sx, record->sy, record->dx, record->dy, record->clr);
        ++nRecords;
    }
    EXPECT_GT(nRecords, kHeight);
    EXPECT_EQ(copy, picture);
}

} // namespace
} // namespace zaplo
