// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractButton>
#include <QImage>

namespace zaplo {

// A push button that shows a picture as its face. It reports every pointer movement over it,
// also without a mouse button held.
class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    PictureButton(const QString& name, const QString& caption, const QImage& face,
                  const QRect& geometry, QWidget* parent);

    QSize sizeHint() const override;

Q_SIGNALS:
    void PointerOver();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QImage face_;
};

} // namespace zaplo
