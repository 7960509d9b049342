// SPDX-License-Identifier: MIT
#include "ui/start/PictureButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPen>

namespace zaplo {

PictureButton::PictureButton(const QString& name, const QString& caption, const QImage& face,
                             const QRect& geometry, QWidget* parent)
    : QAbstractButton(parent), face_(face) {
    setObjectName(name);
    setText(caption); // shown only while the face picture is missing; also the accessible name
    setGeometry(geometry);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize PictureButton::sizeHint() const {
    return face_.isNull() ? QSize(125, 40) : face_.size();
}

void PictureButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    // A pressed button shows its face one pixel down and to the right.
    const QPoint shift = isDown() ? QPoint(1, 1) : QPoint(0, 0);
    painter.fillRect(rect(), QColor(0, 0, 128));
    if (face_.isNull()) {
        painter.setPen(Qt::white);
        painter.drawText(rect().translated(shift), Qt::AlignCenter, text());
    } else {
        painter.drawImage(shift, face_);
    }
    if (hasFocus()) {
        QPen pen(QColor(255, 255, 255));
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}

void PictureButton::enterEvent(QEnterEvent* event) {
    Q_EMIT PointerOver();
    QAbstractButton::enterEvent(event);
}

void PictureButton::mouseMoveEvent(QMouseEvent* event) {
    Q_EMIT PointerOver();
    QAbstractButton::mouseMoveEvent(event);
}

} // namespace zaplo
