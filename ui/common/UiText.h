// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace zaplo {

// `family` at 8.25 pt, or the nearest sans-serif face at that size.
QFont SansFont(const QString& family, bool bBold);

// A label of plain text in `colour` on a transparent background: the window shows through.
QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, const QColor& colour);

} // namespace zaplo
