// SPDX-License-Identifier: MIT
#include "ui/common/UiText.h"

#include <QLabel>
#include <QPalette>

namespace zaplo {

QFont SansFont(const QString& family, bool bBold) {
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bBold);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, const QColor& colour) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setAutoFillBackground(false);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

} // namespace zaplo
