#pragma once

#include "base/PixelCanvas.h"

#include <QColor>
#include <QImage>
#include <QWidget>

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

    explicit CanvasWidget(AppState& state, QWidget* parent = nullptr);

    // Draws one segment (end point excluded) in `clr` and repaints.
    void DrawSegment(int sx, int sy, int dx, int dy, int32_t clr);
    // Fills the whole image with the background colour and repaints.
    void Erase();

    const QImage& Image() const { return image_; }
    QColor Background() const { return background_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    AppState& state_;
    QColor background_;
    QColor border_;
    QImage image_;
    // A repaint has been asked for and not yet done: asking again adds nothing, since every
    // change goes into the image and the whole image is painted.
    bool bRepaintAsked_ = false;

    void Repaint();
};

} // namespace zaplo
