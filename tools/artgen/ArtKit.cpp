// SPDX-License-Identifier: MIT
#include "tools/artgen/ArtKit.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>

#include <algorithm>

namespace zaplo {

QImage Canvas(int width, int height, const QColor& fill) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

QImage Opaque(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

void DrawRing(QPainter& painter, QPointF centre, double rx, double ry, double angle,
              const QColor& colour, double thickness, bool backHalf) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(centre);
    painter.rotate(angle);
    QLinearGradient shade(-rx, 0, rx, 0);
    QColor edge = colour;
    edge.setAlpha(40);
    shade.setColorAt(0.0, edge);
    shade.setColorAt(0.3, colour);
    shade.setColorAt(0.7, colour.lighter(140));
    shade.setColorAt(1.0, edge);
    painter.setPen(QPen(QBrush(shade), thickness, Qt::SolidLine, Qt::FlatCap));
    painter.setBrush(Qt::NoBrush);
    const QRectF oval(-rx, -ry, 2 * rx, 2 * ry);
    // Qt angles are in 1/16 degree, counter-clockwise from three o'clock.
    painter.drawArc(oval, backHalf ? 0 : 180 * 16, 180 * 16);
    painter.restore();
}

QFont ArtFont(bool serif, int pixelSize, int weight, double letterSpacing) {
    QFont font(serif ? QStringLiteral("DejaVu Serif") : QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setLetterSpacing(QFont::PercentageSpacing, letterSpacing);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void DrawStylisedText(QPainter& painter, const QString& text, const QFont& font, const QRectF& box,
                      const LetterStyle& style) {
    QPainterPath path;
    path.addText(0, 0, font, text);
    QRectF bounds = path.boundingRect();
    // Squeeze words that are too wide for their box, keeping the letters' height.
    const double room = box.width() - style.depthSteps - 2.0;
    if (bounds.width() > room) {
        path = QTransform::fromScale(room / bounds.width(), 1.0).map(path);
        bounds = path.boundingRect();
    }
    // Centre the face, leaving room for the extrusion on the lower right.
    const double shift = style.depthSteps / 2.0;
    path.translate(box.center() - bounds.center() - QPointF(shift, shift));

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = style.depthSteps; i >= 1; --i) {
        QColor c = style.depth;
        // Nearer layers are lighter, so the extrusion reads as lit from the front.
        c = c.lighter(100 + 60 * (style.depthSteps - i) / std::max(1, style.depthSteps));
        painter.setBrush(c);
        painter.drawPath(path.translated(i, i));
    }

    const QRectF face = path.boundingRect();
    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    fill.setColorAt(0.0, style.top);
    fill.setColorAt(0.55, style.bottom);
    fill.setColorAt(1.0, style.bottom.darker(130));
    painter.setBrush(fill);
    painter.setPen(QPen(style.outline, style.outlineWidth));
    painter.drawPath(path);

    if (style.gloss > 0.0) {
        painter.setClipPath(path);
        QLinearGradient shine(face.topLeft(), QPointF(face.left(), face.center().y()));
        QColor white(255, 255, 255, static_cast<int>(255 * style.gloss));
        shine.setColorAt(0.0, white);
        white.setAlpha(static_cast<int>(90 * style.gloss));
        shine.setColorAt(1.0, white);
        painter.setPen(Qt::NoPen);
        painter.setBrush(shine);
        painter.drawRect(QRectF(face.left(), face.top(), face.width(), face.height() * 0.48));
    }
    painter.restore();
}

void DrawSphere(QPainter& painter, QPointF centre, double radius, const QColor& light,
                const QColor& dark) {
    QRadialGradient shade(centre, radius, centre - QPointF(radius * 0.4, radius * 0.45));
    shade.setColorAt(0.0, light);
    shade.setColorAt(0.7, dark);
    shade.setColorAt(1.0, dark.darker(220));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawEllipse(centre, radius, radius);
    painter.restore();
}

void DrawBevelPanel(QPainter& painter, const QRectF& box, double radius, const QColor& top,
                    const QColor& bottom, const QColor& edge) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0.0, top);
    fill.setColorAt(0.5, bottom.lighter(115));
    fill.setColorAt(0.52, bottom);
    fill.setColorAt(1.0, bottom.darker(140));
    painter.setBrush(fill);
    painter.setPen(QPen(edge, 1.0));
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    // Light upper-left rim, dark lower-right rim.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 90), 1.0));
    painter.drawRoundedRect(box.adjusted(1.5, 1.5, -2.5, -2.5), radius - 1, radius - 1);
    painter.restore();
}

} // namespace zaplo
