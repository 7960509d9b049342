// SPDX-License-Identifier: MIT
#include "ui/common/ColourBox.h"

#include "net/core/LenientNumber.h"

#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>
#include <string>

namespace zaplo {

namespace {

double Number(const QString& text) {
    return ReadLenientNumber(text.toUtf8().toStdString());
}

} // namespace

ColourBox::ColourBox(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(3);
}

int ColourBox::Part() const {
    const double v = RoundHalfEven(Number(text()));
    if (!(v > 0)) {
        return 0;
    }
    return v >= 255 ? 255 : static_cast<int>(v);
}

void ColourBox::CapAt255() {
    if (Number(text()) > 255) {
        setText(QStringLiteral("255"));
    }
}

void ColourBox::FitThreeDigits() {
    QStyleOptionFrame option;
    option.initFrom(this);
    option.rect = QRect(QPoint(0, 0), size());
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    const int contents =
        style()->subElementRect(QStyle::SE_LineEditContents, &option, this).width();
    const int padding = 2 * 2; // QLineEdit keeps 2 pixels on either side of the text
    const int needed = fontMetrics().horizontalAdvance(QStringLiteral("888"));
    const int missing = needed - (contents - padding);
    if (missing > 0) {
        const int side = std::min((missing + 1) / 2, 2);
        setTextMargins(-side, 0, -side, 0);
    }
}

} // namespace zaplo
