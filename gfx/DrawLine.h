// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

class QImage;

namespace zaplo {

// Solid 1-pixel line in `colour` (red + 256 * green + 65536 * blue) from (x1, y1) up to, but not
// including, (x2, y2). Integer Bresenham, so every participant paints the same pixels. Points may
// lie far outside the image: exactly the in-image pixels of the unclipped line are painted.
void DrawLine(QImage& surface, int x1, int y1, int x2, int y2, int32_t colour);

} // namespace zaplo
