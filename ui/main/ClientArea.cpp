// SPDX-License-Identifier: MIT
#include "ui/main/ClientArea.h"

#include <QPaintEvent>
#include <QPainter>

namespace zaplo {

ClientArea::ClientArea(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ClientArea::SetBackground(const QColor& colour) {
    background_ = colour;
    update();
}

void ClientArea::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), background_);
}

} // namespace zaplo
