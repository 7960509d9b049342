// SPDX-License-Identifier: MIT
#pragma once

class QEventLoop;
class QWidget;

namespace zaplo {

class AppState;

// Shows a window application-modal and runs events until it is hidden or the program ends.
class ModalLoop {
public:
    // Returns at once when the program has already ended.
    void Run(QWidget& window, AppState& state);
    // Ends a running showing; the window calls it when it is hidden.
    void Quit();

private:
    QEventLoop* loop_ = nullptr;
};

} // namespace zaplo
