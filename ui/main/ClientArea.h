// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QWidget>

namespace zaplo {

// The main window's client area below the menu bar. It paints its own background instead of
// setting a palette, so the controls on it keep the toolkit's default colours.
class ClientArea : public QWidget {
    Q_OBJECT
public:
    explicit ClientArea(QWidget* parent = nullptr);

    void SetBackground(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor background_ = Qt::black;
};

} // namespace zaplo
