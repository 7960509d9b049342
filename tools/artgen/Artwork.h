// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>

namespace zaplo {

// The program's pictures, each at its final pixel size (the background is in BackgroundArt.h).
QImage PaintBanner();                                                              // 410 x 55
QImage PaintPlanet();                                                              // 109 x 106
QImage PaintWordButton(const QString& word, int width, int height, int pixelSize); // on blue
QImage PaintDialogButton(const QString& word, int pixelSize);                      // 50 x 35
QImage PaintLogo(int hue);       // 121 x 25, 256 colours
QImage PaintIcon(int size = 32); // size x size with transparency

} // namespace zaplo
