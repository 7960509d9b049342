// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace zaplo {

// A colour as the program stores and sends it: red + 256 * green + 65536 * blue, each part
// 0..255. Only the low 24 bits carry colour; the top byte is ignored when unpacking.
constexpr int32_t PackColour(int red, int green, int blue) {
    return red + 256 * green + 65536 * blue;
}
constexpr int ColourRed(int32_t colour) {
    return static_cast<int>(static_cast<uint32_t>(colour) & 0xFFU);
}
constexpr int ColourGreen(int32_t colour) {
    return static_cast<int>((static_cast<uint32_t>(colour) >> 8) & 0xFFU);
}
constexpr int ColourBlue(int32_t colour) {
    return static_cast<int>((static_cast<uint32_t>(colour) >> 16) & 0xFFU);
}

} // namespace zaplo
