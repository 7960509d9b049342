// SPDX-License-Identifier: MIT
#include "ui/main/PictureFile.h"

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

namespace zaplo {

QString PictureFile::SavePng(const QImage& image, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        const QString why = writer.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}

} // namespace zaplo
