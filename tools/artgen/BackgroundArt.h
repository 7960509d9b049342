// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>

namespace zaplo {

// The start window's backdrop, 512 x 384: a grid floor under a haze, with ringed spheres.
QImage PaintBackground();

} // namespace zaplo
