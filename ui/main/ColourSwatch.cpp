// SPDX-License-Identifier: MIT
#include "ui/main/ColourSwatch.h"

#include "gfx/QtColour.h"

#include <QMouseEvent>
#include <QPainter>

#include <array>

namespace zaplo {

namespace {

constexpr std::array<int32_t, 16> kPalette{
    PackColour(0, 0, 0),       PackColour(100, 100, 100), PackColour(215, 70, 1),
    PackColour(1, 215, 70),    PackColour(70, 1, 215),    PackColour(200, 200, 0),
    PackColour(2, 167, 182),   PackColour(202, 2, 190),   PackColour(255, 255, 255),
    PackColour(155, 155, 155), PackColour(255, 0, 0),     PackColour(0, 255, 0),
    PackColour(0, 0, 255),     PackColour(255, 255, 50),  PackColour(0, 247, 250),
    PackColour(233, 115, 247)};

} // namespace

QColor ColourSwatch::PaletteColour(std::size_t index) {
    return ColourToQColor(kPalette.at(index));
}

ColourSwatch::ColourSwatch(QWidget* parent) : QWidget(parent) {
    // A tab stop; a click picks the colour without taking the focus from the chat input.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ColourSwatch::SetColour(const QColor& colour) {
    colour_ = colour;
    update();
}

int32_t ColourSwatch::ColourValue() const {
    return QColorToColour(colour_);
}

void ColourSwatch::SetMarked(bool bMarked) {
    if (bMarked_ != bMarked) {
        bMarked_ = bMarked;
        update();
    }
}

void ColourSwatch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colour_);
    if (bMarked_) {
        // A thin frame that stands out from the swatch's own colour, dark or light.
        const QColor frame = qGray(colour_.rgb()) < 128 ? Qt::white : Qt::black;
        painter.setPen(frame);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void ColourSwatch::mousePressEvent(QMouseEvent* event) {
    bPressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ColourSwatch::mouseReleaseEvent(QMouseEvent* event) {
    // A click is a left press and release on the swatch.
    const bool bClick = bPressed_ && event->button() == Qt::LeftButton &&
                        rect().contains(event->position().toPoint());
    bPressed_ = false;
    event->accept();
    if (bClick) {
        Q_EMIT clicked();
    }
}

} // namespace zaplo
