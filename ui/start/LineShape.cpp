// SPDX-License-Identifier: MIT
#include "ui/start/LineShape.h"

#include <QPainter>
#include <QPen>

#include <algorithm>

namespace zaplo {

LineShape::LineShape(int x1, int y1, int x2, int y2, QColor colour)
    : p1_(x1, y1), p2_(x2, y2), colour_(colour) {}

QRect LineShape::Bounds() const {
    return QRect(QPoint(std::min(p1_.x(), p2_.x()), std::min(p1_.y(), p2_.y())),
                 QPoint(std::max(p1_.x(), p2_.x()), std::max(p1_.y(), p2_.y())));
}

bool LineShape::SetEnds(int x1, int y1, int x2, int y2) {
    const QPoint p1(x1, y1);
    const QPoint p2(x2, y2);
    if (p1 == p1_ && p2 == p2_) {
        return false;
    }
    p1_ = p1;
    p2_ = p2;
    return true;
}

void LineShape::Paint(QPainter& painter) const {
    QPen pen(colour_);
    pen.setWidth(1);
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    if (p1_ == p2_) {
        painter.drawPoint(p1_);
    } else {
        painter.drawLine(p1_, p2_);
    }
}

} // namespace zaplo
