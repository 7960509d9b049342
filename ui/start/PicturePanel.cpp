// SPDX-License-Identifier: MIT
#include "ui/start/PicturePanel.h"

#include <QPainter>

namespace zaplo {

PicturePanel::PicturePanel(const QString& name, const QRect& geometry, bool sunken,
                           QColor background, QWidget* parent)
    : QFrame(parent), background_(background) {
    setObjectName(name);
    if (sunken) {
        // WinPanel is always two pixels wide.
        setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    } else {
        setFrameStyle(QFrame::NoFrame);
    }
    setGeometry(geometry);
    setAttribute(Qt::WA_OpaquePaintEvent);
    surface_ = QImage(contentsRect().size(), QImage::Format_RGB32);
    Clear();
}

void PicturePanel::Clear() {
    surface_.fill(background_);
    update();
}

void PicturePanel::ShowPicture(const QImage& picture) {
    surface_.fill(background_);
    if (!picture.isNull()) {
        // Over the background colour, so transparent parts of a picture show it.
        QPainter painter(&surface_);
        painter.drawImage(QPoint(0, 0), picture);
    }
    update();
}

void PicturePanel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), surface_);
    drawFrame(&painter);
}

} // namespace zaplo
