// SPDX-License-Identifier: MIT
#pragma once

#include "base/Colour.h"

#include <QColor>
#include <QRgb>

#include <cstdint>

namespace zaplo {

inline QColor ColourToQColor(int32_t colour) {
    return QColor(ColourRed(colour), ColourGreen(colour), ColourBlue(colour));
}

// The same colour as an opaque 0xAARRGGBB pixel value.
inline QRgb ColourToRgb(int32_t colour) {
    return qRgb(ColourRed(colour), ColourGreen(colour), ColourBlue(colour));
}

inline int32_t QColorToColour(const QColor& colour) {
    return PackColour(colour.red(), colour.green(), colour.blue());
}

} // namespace zaplo
