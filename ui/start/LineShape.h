// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>

class QPainter;

namespace zaplo {

// A solid 1-pixel line painted on a window's own surface, like a line control: it has two end
// points and a colour and is painted under the window's child widgets.
class LineShape {
public:
    LineShape() = default;
    LineShape(int x1, int y1, int x2, int y2, QColor colour);

    // The pixels the line covers, both end points included.
    QRect Bounds() const;
    // Moves both ends; false when nothing changed.
    bool SetEnds(int x1, int y1, int x2, int y2);
    void Paint(QPainter& painter) const;

private:
    QPoint p1_;
    QPoint p2_;
    QColor colour_;
};

} // namespace zaplo
