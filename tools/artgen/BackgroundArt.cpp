// SPDX-License-Identifier: MIT
#include "tools/artgen/BackgroundArt.h"

#include "tools/artgen/ArtKit.h"
#include "tools/artgen/SeededRandom.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace zaplo {

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 384;

// The steps below share one painter and one random sequence; each sets the pen and brush it
// needs, and they must run in this order for the picture to come out the same.

// A floor of glowing grid lines that runs to a horizon, in perspective.
void DrawGridFloor(QPainter& painter, double width, double height, double horizon, double vanishX) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fade(0, horizon, 0, height);
    fade.setColorAt(0.0, QColor(0, 20, 60, 0));
    fade.setColorAt(0.35, QColor(10, 40, 110, 150));
    fade.setColorAt(1.0, QColor(30, 70, 170, 220));
    const QPen pen(QBrush(fade), 1.0);
    painter.setPen(pen);
    // Rays from the vanishing point.
    for (int k = -24; k <= 24; ++k) {
        const double nearX = vanishX + k * 46.0;
        painter.drawLine(QPointF(vanishX + k * 2.0, horizon), QPointF(nearX, height));
    }
    // Cross lines, closer together towards the horizon.
    for (int j = 1; j < 16; ++j) {
        const double y = horizon + (height - horizon) * std::pow(j / 15.0, 2.2);
        painter.drawLine(QPointF(0, y), QPointF(width, y));
    }
    painter.restore();
}

// A faint haze above the horizon.
void DrawHaze(QPainter& painter, const QRect& rect) {
    QRadialGradient haze(QPointF(300, 236), 330);
    haze.setColorAt(0.0, QColor(12, 26, 70));
    haze.setColorAt(0.5, QColor(4, 8, 28));
    haze.setColorAt(1.0, QColor(0, 0, 0));
    painter.fillRect(rect, haze);
}

// Dim stars in the upper part.
void DrawStars(QPainter& painter, SeededRandom& random) {
    for (int i = 0; i < 140; ++i) {
        const QPointF p(random.Range(0, kWidth), random.Range(0, 230));
        const int level = static_cast<int>(random.Range(25, 110));
        painter.setPen(QPen(QColor(level / 3, level / 2, level), random.Unit() < 0.15 ? 1.6 : 1.0));
        painter.drawPoint(p);
    }
}

// Swept ribbons of light across the middle.
void DrawRibbons(QPainter& painter, SeededRandom& random) {
    for (int r = 0; r < 3; ++r) {
        QPainterPath ribbon;
        const double y0 = 150 + r * 28 + random.Range(-6, 6);
        ribbon.moveTo(-20, y0 + 40);
        ribbon.cubicTo(140, y0 - 60 + r * 10, 330, y0 + 90, kWidth + 20, y0 - 30);
        QLinearGradient glow(0, 0, kWidth, 0);
        glow.setColorAt(0.0, QColor(20, 50, 160, 0));
        glow.setColorAt(0.5, QColor(40, 90, 220, 90 - r * 20));
        glow.setColorAt(1.0, QColor(20, 50, 160, 0));
        painter.setPen(QPen(QBrush(glow), 6.0 - r * 1.5, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(ribbon);
        painter.setPen(QPen(QBrush(glow), 1.0));
        painter.drawPath(ribbon.translated(0, 5));
    }
}

// The large ringed sphere, upper right, with its shadow on the floor.
void DrawRingedSphere(QPainter& painter) {
    const QPointF big(410, 120);
    painter.setPen(Qt::NoPen);
    QRadialGradient shadow(QPointF(400, 300), 70);
    shadow.setColorAt(0.0, QColor(0, 0, 0, 200));
    shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
    painter.setBrush(shadow);
    painter.drawEllipse(QPointF(400, 300), 80, 16);
    DrawRing(painter, big, 98, 26, -14, QColor(40, 80, 200, 170), 5, true);
    DrawSphere(painter, big, 62, QColor(70, 110, 220), QColor(8, 22, 80));
    DrawRing(painter, big, 98, 26, -14, QColor(40, 80, 200, 170), 5, false);
}

// Smaller spheres scattered over the floor, each with a soft shadow below.
void DrawBalls(QPainter& painter, SeededRandom& random) {
    struct Ball {
        double x, y, r;
    };
    const Ball balls[] = {{250, 262, 18}, {312, 330, 28}, {212, 352, 12},
                          {470, 270, 10}, {150, 268, 9},  {355, 220, 7}};
    for (const Ball& b : balls) {
        QRadialGradient drop(QPointF(b.x + b.r * 0.3, b.y + b.r * 0.9), b.r * 1.3);
        drop.setColorAt(0.0, QColor(0, 0, 0, 190));
        drop.setColorAt(1.0, QColor(0, 0, 0, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(drop);
        painter.drawEllipse(QPointF(b.x + b.r * 0.3, b.y + b.r * 0.9), b.r * 1.4, b.r * 0.4);
        const int tint = static_cast<int>(random.Range(0, 40));
        DrawSphere(painter, QPointF(b.x, b.y), b.r, QColor(60 + tint, 100 + tint, 230),
                   QColor(5, 15, 70));
    }
}

// A wire-frame pyramid standing on the floor at the left.
void DrawPyramid(QPainter& painter) {
    painter.setBrush(Qt::NoBrush);
    const QPointF apex(110, 200);
    const QPointF baseA(60, 312), baseB(128, 330), baseC(170, 300);
    QPainterPath faceLit;
    faceLit.moveTo(apex);
    faceLit.lineTo(baseA);
    faceLit.lineTo(baseB);
    faceLit.closeSubpath();
    QPainterPath faceDark;
    faceDark.moveTo(apex);
    faceDark.lineTo(baseB);
    faceDark.lineTo(baseC);
    faceDark.closeSubpath();
    QLinearGradient lit(apex, baseA);
    lit.setColorAt(0.0, QColor(50, 80, 190, 200));
    lit.setColorAt(1.0, QColor(10, 20, 70, 200));
    painter.setPen(QPen(QColor(70, 110, 230, 160), 1.0));
    painter.setBrush(lit);
    painter.drawPath(faceLit);
    painter.setBrush(QColor(6, 12, 45, 220));
    painter.drawPath(faceDark);
}

} // namespace

QImage PaintBackground() {
    QImage image = Canvas(kWidth, kHeight, Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    SeededRandom random(4051U);

    DrawHaze(painter, image.rect());
    DrawStars(painter, random);
    DrawGridFloor(painter, kWidth, kHeight, 236, 300);
    DrawRibbons(painter, random);
    DrawRingedSphere(painter);
    DrawBalls(painter, random);
    DrawPyramid(painter);

    painter.end();
    return Opaque(image);
}

} // namespace zaplo
