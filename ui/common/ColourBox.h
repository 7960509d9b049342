// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>

namespace zaplo {

// A custom colour box: a one-line box of at most three characters in which the user types one
// part (red, green or blue) of a colour.
class ColourBox : public QLineEdit {
    Q_OBJECT
public:
    explicit ColourBox(QWidget* parent = nullptr);

    // The typed number rounded half to even, never outside 0..255; no number reads as 0.
    int Part() const;
    // Replaces a number above 255 with "255"; the replacement is a text change of its own.
    void CapAt255();
    // The box is narrow: where the style's frame and padding leave too little room for three
    // digits, the text may use some of the padding, so a typed "255" is shown whole. Call it once
    // the box has its size.
    void FitThreeDigits();
};

} // namespace zaplo
