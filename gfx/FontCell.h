// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

class QFont;
class QPaintDevice;

namespace zaplo {

// The largest pixel size at which `font` has a character cell (ascent + descent) of at most
// `cellHeight` pixels on `device`; at least 1.
int PixelSizeForCellHeight(const QFont& font, int cellHeight, QPaintDevice* device);

} // namespace zaplo
