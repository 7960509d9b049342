// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace zaplo {

// A button drawn entirely by its face picture, clipped to the button's size. It never acts as a
// dialog's default button: only a click or the space bar presses it. Without its picture it shows
// its text instead, so it stays usable when the artwork is missing.
class FaceButton : public QAbstractButton {
    Q_OBJECT
public:
    FaceButton(const QString& szPicture, const QString& szText, QWidget* parent = nullptr);

    bool HasFace() const { return !picFace_.isNull(); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap picFace_;
};

} // namespace zaplo
