// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFrame>
#include <QImage>

namespace zaplo {

// A picture panel with a retained image: whatever is drawn on its surface stays until it is
// drawn over. The surface covers the area inside the border.
class PicturePanel : public QFrame {
    Q_OBJECT
public:
    // `sunken` gives the panel a 2-pixel sunken border.
    PicturePanel(const QString& name, const QRect& geometry, bool sunken, QColor background,
                 QWidget* parent);

    QImage& Surface() { return surface_; }
    const QImage& Surface() const { return surface_; }

    // Fills the surface with the background colour.
    void Clear();
    // Clears, then puts `picture` at the surface's top-left corner (nothing when it is null).
    void ShowPicture(const QImage& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage surface_;
    QColor background_;
};

} // namespace zaplo
