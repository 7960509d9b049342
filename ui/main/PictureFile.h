// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QImage;

namespace zaplo {

// The canvas picture as a file.
class PictureFile {
public:
    // Writes image to path as PNG. A file already there is replaced only once the whole
    // picture has been written. Returns why it failed, or an empty text on success.
    static QString SavePng(const QImage& image, const QString& path);
};

} // namespace zaplo
