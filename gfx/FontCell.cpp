// SPDX-License-Identifier: MIT
#include "gfx/FontCell.h"

#include <QFont>
#include <QFontMetrics>

namespace zaplo {

int PixelSizeForCellHeight(const QFont& font, int cellHeight, QPaintDevice* device) {
    QFont probe(font);
    // The cell is a little taller than the pixel size for every usual face, so counting down
    // from the cell height finds the match in a few steps.
    for (int size = cellHeight; size > 1; --size) {
        probe.setPixelSize(size);
        if (QFontMetrics(probe, device).height() <= cellHeight) {
            return size;
        }
    }
    return 1;
}

} // namespace zaplo
