// SPDX-License-Identifier: MIT
#include "ui/connect/FaceButton.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace zaplo {

FaceButton::FaceButton(const QString& szPicture, const QString& szText, QWidget* parent)
    : QAbstractButton(parent), picFace_(szPicture) {
    setText(szText);
    setAccessibleName(szText);
    setFocusPolicy(Qt::StrongFocus);
}

QSize FaceButton::sizeHint() const {
    if (HasFace()) {
        return picFace_.size();
    }
    return fontMetrics().size(Qt::TextSingleLine, text()) + QSize(12, 8);
}

void FaceButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // A held-down button shifts its face by one pixel, as a pushed picture button does.
    const QPoint ptShift = isDown() ? QPoint(1, 1) : QPoint(0, 0);
    if (HasFace()) {
        painter.drawPixmap(ptShift, picFace_);
    } else {
        painter.fillRect(rect(), palette().button());
        painter.setPen(palette().buttonText().color());
        painter.drawText(rect().translated(ptShift), Qt::AlignCenter, text());
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

} // namespace zaplo
