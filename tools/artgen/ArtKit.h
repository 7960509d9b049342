// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>

class QPainter;

namespace zaplo {

// How DrawStylisedText dresses a word: a slanted extrusion behind it, a vertical gradient face,
// a thin outline and a glossy upper half.
struct LetterStyle {
    QColor top;          // face colour at the top of the letters
    QColor bottom;       // face colour at their foot
    QColor outline;      // edge of the face
    QColor depth;        // the extrusion, darkest at the back
    int depthSteps = 3;  // pixels of extrusion towards the lower right
    double gloss = 0.35; // opacity of the highlight on the upper half
    double outlineWidth = 1.0;
};

// A blank picture to paint on, filled with `fill`.
QImage Canvas(int width, int height, const QColor& fill);
// The finished picture without its alpha channel.
QImage Opaque(const QImage& image);

// A tilted ring around a centre, drawn in two halves so that a sphere can sit between them.
void DrawRing(QPainter& painter, QPointF centre, double rx, double ry, double angle,
              const QColor& colour, double thickness, bool backHalf);

// A DejaVu font at a pixel size.
QFont ArtFont(bool serif, int pixelSize, int weight, double letterSpacing = 100.0);

// Draws `text` centred in `box` in the given style.
void DrawStylisedText(QPainter& painter, const QString& text, const QFont& font, const QRectF& box,
                      const LetterStyle& style);

// A lit sphere: a radial gradient whose highlight sits to the upper left.
void DrawSphere(QPainter& painter, QPointF centre, double radius, const QColor& light,
                const QColor& dark);

// A raised, rounded panel with a vertical gradient and a bevelled edge.
void DrawBevelPanel(QPainter& painter, const QRectF& box, double radius, const QColor& top,
                    const QColor& bottom, const QColor& edge);

} // namespace zaplo
