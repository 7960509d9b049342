// SPDX-License-Identifier: MIT
#include "ui/main/CanvasWidget.h"

#include "base/AppState.h"
#include "base/Colour.h"
#include "gfx/DrawLine.h"
#include "net/SendQueue.h"
#include "net/core/DrawPacket.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zaplo {

namespace {

// Pointer position in canvas pixels: rounded down, held in 16 bits like every canvas coordinate.
int16_t ToCoord(double widgetPos) {
    const double v = std::floor(widgetPos) - CanvasWidget::kBorder;
    const double lo = std::numeric_limits<int16_t>::min();
    const double hi = std::numeric_limits<int16_t>::max();
    return static_cast<int16_t>(std::clamp(v, lo, hi));
}

} // namespace

CanvasWidget::CanvasWidget(AppState& state, QWidget* parent)
    : QWidget(parent), state_(state),
      background_(QApplication::palette().color(QPalette::Active, QPalette::Base)),
      border_(QApplication::palette().color(QPalette::Active, QPalette::Text)),
      image_(kInnerWidth, kInnerHeight, QImage::Format_RGB32) {
    image_.fill(background_);
    // A tab stop; drawing does not take the focus from the chat input.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The border is inside the widget; the image fills the rest.
    setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, &CanvasWidget::ShowDirty);
}

void CanvasWidget::DrawSegment(int sx, int sy, int dx, int dy, int32_t clr) {
    Paint(sx, sy, dx, dy, clr);
    // The pixels the segment may touch, in widget coordinates; DrawLine paints only those
    // inside the image.
    const QRect changed = QRect(QPoint(std::min(sx, dx), std::min(sy, dy)),
                                QPoint(std::max(sx, dx), std::max(sy, dy)))
                              .translated(kBorder, kBorder)
                              .intersected(contentsRect());
    if (!changed.isEmpty()) {
        Repaint(changed);
    }
}

void CanvasWidget::ReadRow(int y, std::vector<int32_t>& row) const {
    const auto* pixels = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
    row.resize(static_cast<std::size_t>(image_.width()));
    for (std::size_t x = 0; x < row.size(); ++x) {
        row[x] = PackColour(qRed(pixels[x]), qGreen(pixels[x]), qBlue(pixels[x]));
    }
}

void CanvasWidget::Erase() {
    // Clears come in floods too: one on a blank canvas changes nothing and costs nothing, and
    // a run of them in one read fills the image once.
    if (bBlank_) {
        return;
    }
    image_.fill(background_);
    bBlank_ = true;
    Repaint(contentsRect());
}

void CanvasWidget::Paint(int sx, int sy, int dx, int dy, int32_t clr) {
    bBlank_ = false;
    DrawLine(image_, sx, sy, dx, dy, clr);
}

void CanvasWidget::Repaint(const QRect& changed) {
    if (!isVisible()) {
        // Nothing to show now; showing the widget paints the whole image anyway.
        bRepaintAsked_ = false;
        dirty_ = QRegion();
        dirtyBox_ = QRect();
        nDirty_ = 0;
        return;
    }
    // Painting only what changed keeps a frame's cost to the strokes drawn in it, not the size
    // of the canvas.
    dirtyBox_ = dirtyBox_.united(changed);
    if (++nDirty_ <= kDirtyRects) {
        dirty_ += changed;
    }
    if (bRepaintAsked_) {
        return;
    }
    bRepaintAsked_ = true;
    // Ticks wrap and test clocks jump: the wait is kept within one frame.
    int32_t lWait = 0;
    if (state_.GetTicks) {
        const auto lSince = static_cast<int32_t>(static_cast<uint32_t>(state_.GetTicks()) -
                                                 static_cast<uint32_t>(lLastPaint_));
        lWait = std::clamp(kFrameMs - lSince, int32_t{0}, kFrameMs);
    }
    if (lWait == 0) {
        ShowDirty();
    } else {
        frameTimer_.start(lWait);
    }
}

void CanvasWidget::ShowDirty() {
    bRepaintAsked_ = false;
    frameTimer_.stop();
    if (state_.GetTicks) {
        lLastPaint_ = state_.GetTicks();
    }
    if (nDirty_ <= kDirtyRects) {
        update(dirty_);
    } else {
        update(dirtyBox_);
    }
    dirty_ = QRegion();
    dirtyBox_ = QRect();
    nDirty_ = 0;
}

void CanvasWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect inner = contentsRect();
    if (!inner.contains(event->rect())) {
        painter.setPen(border_);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    for (const QRect& area : event->region()) {
        const QRect part = area.intersected(inner);
        if (!part.isEmpty()) {
            painter.drawImage(part.topLeft(), image_, part.translated(-kBorder, -kBorder));
        }
    }
}

void CanvasWidget::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) {
        return;
    }
    state_.nLastX = ToCoord(event->position().x());
    state_.nLastY = ToCoord(event->position().y());
    if (!state_.bConnected) {
        return;
    }
    // A press draws a segment of length zero, which marks nothing; it only tells the peers.
    Paint(state_.nLastX, state_.nLastY, state_.nLastX, state_.nLastY, state_.lDrawColor);
    ClientServerSendMessage(state_, MessageCode::Draw,
                            GetDrawPacket(state_.nLastX, state_.nLastY, state_.nLastX,
                                          state_.nLastY, state_.lDrawColor));
}

void CanvasWidget::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    // A second button held with the left one pauses the stroke.
    if (event->buttons() != Qt::LeftButton) {
        return;
    }
    const int16_t x = ToCoord(event->position().x());
    const int16_t y = ToCoord(event->position().y());
    DrawSegment(state_.nLastX, state_.nLastY, x, y, state_.lDrawColor);
    if (state_.bConnected) {
        ClientServerSendMessage(
            state_, MessageCode::Draw,
            GetDrawPacket(state_.nLastX, state_.nLastY, x, y, state_.lDrawColor));
    }
    state_.nLastX = x;
    state_.nLastY = y;
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

} // namespace zaplo
