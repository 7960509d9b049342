// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

namespace zaplo {

// The main window's layout as a table: each control's left, top, width and height is a fixed
// number or a measure of a control placed before it plus an offset. The rows come in the order
// the controls are placed, so a rule always sees the values set by the rows above it.
class MainLayout {
public:
    // Places the named children of `area` by the table, row by row.
    static void Apply(QWidget& area);
};

} // namespace zaplo
