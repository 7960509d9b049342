#pragma once

#include <QColor>
#include <QRgb>

#include <cstdint>

namespace zaplo {

// Colours travel as red + 256 * green + 65536 * blue; the top byte is ignored.
inline QColor ColourToQColor(int32_t colour) {
    const auto c = static_cast<uint32_t>(colour);
    return QColor(static_cast<int>(c & 0xFFU), static_cast<int>((c >> 8) & 0xFFU),
                  static_cast<int>((c >> 16) & 0xFFU));
}

// The same colour as an opaque 0xAARRGGBB pixel value.
inline QRgb ColourToRgb(int32_t colour) {
    const auto c = static_cast<uint32_t>(colour);
    return qRgb(static_cast<int>(c & 0xFFU), static_cast<int>((c >> 8) & 0xFFU),
                static_cast<int>((c >> 16) & 0xFFU));
}

} // namespace zaplo
