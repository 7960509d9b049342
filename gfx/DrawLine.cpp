// SPDX-License-Identifier: MIT
#include "gfx/DrawLine.h"

#include "base/LineRaster.h"
#include "gfx/QtColour.h"

#include <QImage>

namespace zaplo {

void DrawLine(QImage& surface, int x1, int y1, int x2, int y2, int32_t colour) {
    if (surface.isNull()) {
        return;
    }
    const int width = surface.width();
    const int height = surface.height();
    switch (surface.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied: {
        // An opaque pixel has the same value in all three formats.
        const QRgb value = ColourToRgb(colour);
        uchar* bits = surface.bits();
        const qsizetype stride = surface.bytesPerLine();
        RasterLine(width, height, x1, y1, x2, y2,
                   [&](int x, int y) { reinterpret_cast<QRgb*>(bits + stride * y)[x] = value; });
        break;
    }
    default: {
        const QColor value = ColourToQColor(colour);
        RasterLine(width, height, x1, y1, x2, y2,
                   [&](int x, int y) { surface.setPixelColor(x, y, value); });
        break;
    }
    }
}

} // namespace zaplo
