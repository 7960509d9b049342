// SPDX-License-Identifier: MIT
#include "gfx/DrawFontText.h"

#include "gfx/FontCell.h"
#include "gfx/QtColour.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>

namespace zaplo {

void DrawFontText(QPaintDevice& surface, int x, int y, int angle, const QString& text,
                  uint8_t cellHeight, bool bold, int32_t colour, int32_t background,
                  const QString& face) {
    QFont font(face);
    font.setStyleHint(QFont::SansSerif); // missing faces fall back to a sans-serif
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    if (cellHeight > 0) {
        font.setPixelSize(PixelSizeForCellHeight(font, cellHeight, &surface));
    }

    QPainter painter(&surface);
    if (!painter.isActive()) {
        return;
    }
    painter.setFont(font);
    const QFontMetrics metrics(font, &surface);
    const int cell = cellHeight > 0 ? int{cellHeight} : metrics.height();

    // Whole degrees only; 360 must draw exactly like 0, so turn the angle into 0..359 first.
    const int turn = ((angle % 360) + 360) % 360;
    painter.translate(x, y);
    if (turn != 0) {
        painter.rotate(-turn); // counter-clockwise on screen, where y grows downwards
    }
    if (background != -1) {
        painter.fillRect(0, 0, metrics.horizontalAdvance(text), cell, ColourToQColor(background));
    }
    painter.setPen(ColourToQColor(colour));
    painter.drawText(0, metrics.ascent(), text);
}

} // namespace zaplo
