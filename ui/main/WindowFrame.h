// SPDX-License-Identifier: MIT
#pragma once

class QMainWindow;
class QSize;

namespace zaplo {

// What the main window asks of the window system: its caption, a title bar with the system
// menu, minimise and close buttons and the program's icon, and a fixed outer size.
class WindowFrame {
public:
    // Caption, title bar buttons and icon.
    static void Dress(QMainWindow& window);
    // Outer size `outer` as far as the window system's frame allows, never a client area below
    // minClient.
    static void Fit(QMainWindow& window, const QSize& outer, const QSize& minClient);
};

} // namespace zaplo
