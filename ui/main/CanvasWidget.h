// SPDX-License-Identifier: MIT
#pragma once

#include "base/PixelCanvas.h"

#include <QColor>
#include <QImage>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <vector>

#include <cstdint>

namespace zaplo {

class AppState;

// The shared canvas: a 1-pixel flat border around a retained image that every stroke segment,
// local or received, is drawn into. Local strokes are drawn with the left button and queued as
// "{10}" draw records while the link is up.
class CanvasWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBorder = 1;
    static constexpr int kInnerWidth = PixelCanvas::kWidth;
    static constexpr int kInnerHeight = PixelCanvas::kHeight;
    static constexpr int kOuterWidth = kInnerWidth + 2 * kBorder;
    static constexpr int kOuterHeight = kInnerHeight + 2 * kBorder;
    // The screen shows the image at most once per this many ms: a flood of received segments
    // is drawn into the image at once but costs one paint per frame, not one per event-loop pass.
    static constexpr int32_t kFrameMs = 16;

    explicit CanvasWidget(AppState& state, QWidget* parent = nullptr);

    // Draws one segment (end point excluded) in `clr` and repaints.
    void DrawSegment(int sx, int sy, int dx, int dy, int32_t clr);
    // Fills the whole image with the background colour and repaints.
    void Erase();

    const QImage& Image() const { return image_; }
    // Row y of the image as Colour values, left to right.
    void ReadRow(int y, std::vector<int32_t>& row) const;
    QColor Background() const { return background_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Draws into the image (DrawLine) and notes that it is no longer blank.
    void Paint(int sx, int sy, int dx, int dy, int32_t clr);
    AppState& state_;
    QColor background_;
    QColor border_;
    QImage image_;
    // A repaint has been asked for and not yet done: further changes only widen dirty_.
    bool bRepaintAsked_ = false;
    // What changed in the image since the last repaint, in widget pixels: the first
    // kDirtyRects changes one by one, and the box around all of them, which is painted instead
    // once there are more.
    static constexpr int kDirtyRects = 32;
    QRegion dirty_;
    QRect dirtyBox_;
    int nDirty_ = 0;
    // Nothing has been drawn since the image was last filled with the background.
    bool bBlank_ = true;
    int32_t lLastPaint_ = 0; // ticks of the last repaint asked for
    QTimer frameTimer_;      // asks for the repaint once the frame is over

    void Repaint(const QRect& changed);
    // Asks Qt to paint what changed since the last time.
    void ShowDirty();
};

} // namespace zaplo
