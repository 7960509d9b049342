// SPDX-License-Identifier: MIT
#pragma once

#include "base/Colour.h"

#include <cstdint>
#include <span>
#include <vector>

namespace zaplo {

// The shared canvas's pixels without Qt: segments and clears land on exactly the pixels the
// main window's canvas paints, so a host without a window can keep the picture too.
class PixelCanvas {
public:
    // The canvas's inner area (inside its 1-pixel border), the same in every window.
    static constexpr int kWidth = 248;
    static constexpr int kHeight = 353;
    // A clear canvas: the window's background with the standard palette.
    static constexpr int32_t kBackground = PackColour(255, 255, 255);

    explicit PixelCanvas(int32_t background = kBackground);

    // One segment from (sx, sy) up to, but not including, (dx, dy); points may lie far outside.
    void DrawSegment(int sx, int sy, int dx, int dy, int32_t clr);
    // Every pixel back to the background.
    void Erase();

    int32_t Background() const { return background_; }
    int32_t Pixel(int x, int y) const { return pixels_[Index(x, y)]; }
    // Row y's Colour values, left to right.
    std::span<const int32_t> Row(int y) const;

private:
    static std::size_t Index(int x, int y) {
        return static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x);
    }

    int32_t background_;
    std::vector<int32_t> pixels_;
    bool bBlank_ = true; // nothing drawn since the last fill
};

} // namespace zaplo
