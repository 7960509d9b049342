// SPDX-License-Identifier: MIT
#include "ui/main/SeparatorLine.h"

#include <QPainter>

namespace zaplo {

SeparatorLine::SeparatorLine(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void SeparatorLine::SetColour(const QColor& colour) {
    colour_ = colour;
    update();
}

void SeparatorLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colour_);
}

} // namespace zaplo
