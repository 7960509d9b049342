// SPDX-License-Identifier: MIT
#include "tools/artgen/Artwork.h"

#include "tools/artgen/ArtKit.h"
#include "tools/artgen/SeededRandom.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>

namespace zaplo {

QImage PaintBanner() {
    QImage image = Canvas(410, 55, Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // Light streaks running out from behind the name.
    for (int i = 0; i < 4; ++i) {
        const double y = 16.0 + i * 8.0;
        QLinearGradient streak(0, 0, 410, 0);
        streak.setColorAt(0.0, QColor(20, 40, 140, 0));
        streak.setColorAt(0.5, QColor(60, 110, 255, 200 - i * 40));
        streak.setColorAt(1.0, QColor(20, 40, 140, 0));
        painter.setPen(QPen(QBrush(streak), i == 1 ? 2.0 : 1.0));
        painter.drawLine(QPointF(0, y), QPointF(410, y));
    }
    QRadialGradient glow(QPointF(205, 28), 120);
    glow.setColorAt(0.0, QColor(30, 60, 180, 160));
    glow.setColorAt(1.0, QColor(0, 0, 0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(QPointF(205, 28), 150, 26);

    QFont font = ArtFont(false, 50, 800, 108);
    font.setItalic(true);
    LetterStyle style;
    style.top = QColor(225, 235, 255);
    style.bottom = QColor(40, 90, 230);
    style.outline = QColor(150, 185, 255);
    style.depth = QColor(8, 16, 70);
    style.depthSteps = 4;
    style.gloss = 0.45;
    DrawStylisedText(painter, QStringLiteral("Zaplo"), font, QRectF(0, 0, 410, 55), style);
    painter.end();
    return Opaque(image);
}

QImage PaintPlanet() {
    constexpr double kWidth = 109;
    constexpr double kHeight = 106;
    QImage image = Canvas(109, 106, Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(kWidth / 2, kHeight / 2);
    const double radius = 33;
    SeededRandom random(1090U);

    const QColor ringColour(120, 150, 230, 200);
    DrawRing(painter, centre, 52, 12, -18, ringColour, 4, true);

    // Body: cloud bands clipped to the disc, then the shading on top.
    QPainterPath disc;
    disc.addEllipse(centre, radius, radius);
    painter.save();
    painter.setClipPath(disc);
    painter.fillRect(image.rect(), QColor(40, 110, 190));
    painter.translate(centre);
    painter.rotate(-18);
    for (int band = 0; band < 11; ++band) {
        const double y = -radius + band * 6.5 + random.Range(-1.5, 1.5);
        const int light = static_cast<int>(random.Range(-40, 50));
        QColor c(std::clamp(60 + light, 0, 255), std::clamp(130 + light, 0, 255),
                 std::clamp(200 + light / 2, 0, 255), 170);
        painter.setPen(Qt::NoPen);
        painter.setBrush(c);
        painter.drawEllipse(QPointF(random.Range(-8, 8), y), radius * 1.6, random.Range(1.5, 3.5));
    }
    // A storm spot.
    painter.setBrush(QColor(220, 235, 255, 170));
    painter.drawEllipse(QPointF(-10, 9), 5, 2.6);
    painter.resetTransform();
    QRadialGradient shade(centre, radius, centre - QPointF(radius * 0.45, radius * 0.45));
    shade.setColorAt(0.0, QColor(255, 255, 255, 90));
    shade.setColorAt(0.45, QColor(0, 0, 0, 0));
    shade.setColorAt(0.85, QColor(0, 0, 20, 190));
    shade.setColorAt(1.0, QColor(0, 0, 10, 245));
    painter.setBrush(shade);
    painter.drawEllipse(centre, radius, radius);
    painter.restore();

    // Thin atmosphere rim.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(110, 170, 255, 120), 1.5));
    painter.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
                    60 * 16, 150 * 16);

    DrawRing(painter, centre, 52, 12, -18, ringColour, 4, false);
    painter.end();
    return Opaque(image);
}

QImage PaintWordButton(const QString& word, int width, int height, int pixelSize) {
    QImage image = Canvas(width, height, QColor(0, 0, 40));
    QPainter painter(&image);
    DrawBevelPanel(painter, QRectF(0, 0, width, height), 6, QColor(80, 130, 250),
                   QColor(20, 50, 190), QColor(5, 15, 90));
    LetterStyle style;
    style.top = QColor(255, 255, 255);
    style.bottom = QColor(170, 200, 255);
    style.outline = QColor(10, 25, 110);
    style.depth = QColor(0, 5, 50);
    style.depthSteps = 2;
    style.gloss = 0.3;
    DrawStylisedText(painter, word, ArtFont(false, pixelSize, 800, 110),
                     QRectF(4, 0, width - 8, height), style);
    painter.end();
    return Opaque(image);
}

QImage PaintDialogButton(const QString& word, int pixelSize) {
    QImage image = Canvas(50, 35, Qt::black);
    QPainter painter(&image);
    DrawBevelPanel(painter, QRectF(0, 0, 49, 33), 5, QColor(60, 90, 200), QColor(15, 35, 140),
                   QColor(70, 100, 220));
    LetterStyle style;
    style.top = QColor(255, 255, 255);
    style.bottom = QColor(160, 190, 255);
    style.outline = QColor(10, 20, 90);
    style.outlineWidth = 0.6;
    style.depth = QColor(0, 0, 40);
    style.depthSteps = 1;
    style.gloss = 0.25;
    DrawStylisedText(painter, word, ArtFont(false, pixelSize, 800, 100), QRectF(2, 0, 45, 33),
                     style);
    painter.end();
    return Opaque(image);
}

QImage PaintLogo(int hue) {
    QImage image = Canvas(121, 25, QColor(64, 64, 64));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor light = QColor::fromHsv(hue, 90, 255);
    const QColor mid = QColor::fromHsv(hue, 200, 230);
    const QColor dark = QColor::fromHsv(hue, 230, 90);

    // Emblem: a small orbit around a ball.
    const QPointF centre(13, 12.5);
    DrawRing(painter, centre, 11, 4, -25, mid, 1.6, true);
    DrawSphere(painter, centre, 6.5, light, dark);
    DrawRing(painter, centre, 11, 4, -25, mid, 1.6, false);

    LetterStyle style;
    style.top = light;
    style.bottom = mid;
    style.outline = dark;
    style.outlineWidth = 0.6;
    style.depth = QColor(20, 20, 20);
    style.depthSteps = 1;
    style.gloss = 0.2;
    QFont font = ArtFont(false, 15, 800, 104);
    font.setItalic(true);
    DrawStylisedText(painter, QStringLiteral("ZAPLO"), font, QRectF(27, 0, 62, 25), style);
    // A short tag line beside the name.
    painter.setPen(light);
    painter.setFont(ArtFont(false, 8, 700, 100));
    painter.drawText(QRectF(89, 3, 30, 10), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("DRAW"));
    painter.drawText(QRectF(89, 12, 30, 10), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("+CHAT"));
    painter.end();
    // The logo frames are 256-colour pictures.
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
}

QImage PaintIcon(int size) {
    QImage image = Canvas(size, size, Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 32-unit grid and scaled, so every size shows the same picture with finer detail
    // rather than an enlarged 32-pixel one.
    painter.scale(size / 32.0, size / 32.0);
    DrawBevelPanel(painter, QRectF(1, 1, 30, 30), 6, QColor(70, 120, 245), QColor(15, 40, 160),
                   QColor(5, 12, 70));
    // A pen stroke swept across the tile, as drawn on the shared canvas.
    QPainterPath stroke;
    stroke.moveTo(5, 25);
    stroke.cubicTo(11, 17, 20, 30, 27, 20);
    painter.setPen(QPen(QColor(255, 210, 60), 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(stroke);
    LetterStyle style;
    style.top = QColor(255, 255, 255);
    style.bottom = QColor(180, 205, 255);
    style.outline = QColor(5, 15, 80);
    style.outlineWidth = 0.8;
    style.depth = QColor(0, 0, 40);
    style.depthSteps = 1;
    style.gloss = 0.0;
    DrawStylisedText(painter, QStringLiteral("Z"), ArtFont(false, 22, 900, 100),
                     QRectF(1, -3, 30, 30), style);
    painter.end();
    return image;
}

} // namespace zaplo
