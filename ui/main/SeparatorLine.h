// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QWidget>

namespace zaplo {

// A straight line control: the widget's whole rectangle (1 pixel wide for a vertical line) painted
// in one colour. It takes no input.
class SeparatorLine : public QWidget {
    Q_OBJECT
public:
    explicit SeparatorLine(QWidget* parent = nullptr);

    void SetColour(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_ = Qt::black;
};

} // namespace zaplo
