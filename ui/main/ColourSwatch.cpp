#include "ui/main/ColourSwatch.h"

#include "gfx/QtColour.h"

#include <QMouseEvent>
#include <QPainter>

namespace zaplo {

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
