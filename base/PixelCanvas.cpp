// SPDX-License-Identifier: MIT
#include "base/PixelCanvas.h"

#include "base/LineRaster.h"

#include <algorithm>

namespace zaplo {

namespace {

// Only the low 24 bits are colour, as a window's pixel keeps them.
int32_t ColourOnly(int32_t clr) {
    return PackColour(ColourRed(clr), ColourGreen(clr), ColourBlue(clr));
}

} // namespace

PixelCanvas::PixelCanvas(int32_t background)
    : background_(ColourOnly(background)),
      pixels_(static_cast<std::size_t>(kWidth) * kHeight, background_) {}

void PixelCanvas::DrawSegment(int sx, int sy, int dx, int dy, int32_t clr) {
    const int32_t value = ColourOnly(clr);
    bBlank_ = false;
    RasterLine(kWidth, kHeight, sx, sy, dx, dy,
               [&](int x, int y) { pixels_[Index(x, y)] = value; });
}

void PixelCanvas::Erase() {
    // A clear of a blank canvas costs nothing.
    if (bBlank_) {
        return;
    }
    std::fill(pixels_.begin(), pixels_.end(), background_);
    bBlank_ = true;
}

std::span<const int32_t> PixelCanvas::Row(int y) const {
    return std::span<const int32_t>(pixels_).subspan(Index(0, y), kWidth);
}

} // namespace zaplo
