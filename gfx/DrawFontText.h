// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

class QPaintDevice;
class QString;

namespace zaplo {

// Draws `text` with a font made for the call. (x, y) is the top-left corner of the first
// character cell; `angle` turns the line counter-clockwise about that point. `cellHeight` is the
// height of a character cell in pixels. `background` -1 leaves the cells transparent, any other
// value fills them opaquely with that colour. Colours are red + 256 * green + 65536 * blue.
void DrawFontText(QPaintDevice& surface, int x, int y, int angle, const QString& text,
                  uint8_t cellHeight, bool bold, int32_t colour, int32_t background,
                  const QString& face);

} // namespace zaplo
