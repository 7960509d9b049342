// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QWidget>

#include <cstddef>
#include <cstdint>

namespace zaplo {

// One palette swatch: a square filled with its colour, no border unless marked. A left click on
// it is reported by clicked().
class ColourSwatch : public QWidget {
    Q_OBJECT
public:
    explicit ColourSwatch(QWidget* parent = nullptr);

    // The colour of palette swatch `index` (0 to 15): upper row 0 to 7, lower row 8 to 15.
    static QColor PaletteColour(std::size_t index);

    void SetColour(const QColor& colour);
    // The colour as the program stores it: red + 256 * green + 65536 * blue.
    int32_t ColourValue() const;

    void SetMarked(bool bMarked);
    bool IsMarked() const { return bMarked_; }

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor colour_ = Qt::black;
    bool bMarked_ = false;
    bool bPressed_ = false;
};

} // namespace zaplo
