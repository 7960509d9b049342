#include "tools/artgen/Artwork.h"

#include "tools/artgen/ArtKit.h"
#include "tools/artgen/SeededRandom.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace zaplo {

namespace {

QImage Canvas(int width, int height, const QColor& fill) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

QImage Opaque(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

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

// A tilted ring around a centre, drawn in two halves so that a sphere can sit between them.
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

} // namespace

QImage PaintBackground() {
    constexpr int kWidth = 512;
    constexpr int kHeight = 384;
    QImage image = Canvas(kWidth, kHeight, Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    SeededRandom random(4051U);

    // A faint haze above the horizon.
    QRadialGradient haze(QPointF(300, 236), 330);
    haze.setColorAt(0.0, QColor(12, 26, 70));
    haze.setColorAt(0.5, QColor(4, 8, 28));
    haze.setColorAt(1.0, QColor(0, 0, 0));
    painter.fillRect(image.rect(), haze);

    // Dim stars in the upper part.
    for (int i = 0; i < 140; ++i) {
        const QPointF p(random.Range(0, kWidth), random.Range(0, 230));
        const int level = static_cast<int>(random.Range(25, 110));
        painter.setPen(QPen(QColor(level / 3, level / 2, level), random.Unit() < 0.15 ? 1.6 : 1.0));
        painter.drawPoint(p);
    }

    DrawGridFloor(painter, kWidth, kHeight, 236, 300);

    // Swept ribbons of light across the middle.
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

    // The large ringed sphere, upper right, with its shadow on the floor.
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

    // Smaller spheres scattered over the floor, each with a soft shadow below.
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

    // A wire-frame pyramid standing on the floor at the left.
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

    painter.end();
    return Opaque(image);
}

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
