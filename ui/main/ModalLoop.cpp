// SPDX-License-Identifier: MIT
#include "ui/main/ModalLoop.h"

#include "base/AppState.h"

#include <QEventLoop>
#include <QWidget>

namespace zaplo {

void ModalLoop::Run(QWidget& window, AppState& state) {
    if (state.Ended()) {
        return;
    }
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
    QEventLoop loop;
    loop_ = &loop;
    // Whatever ends the program also ends this showing.
    const int nWatch = state.WatchEnd([&loop] { loop.quit(); });
    if (window.isVisible() && !state.Ended()) {
        loop.exec();
    }
    state.UnwatchEnd(nWatch);
    loop_ = nullptr;
}

void ModalLoop::Quit() {
    if (loop_ != nullptr) {
        loop_->quit();
    }
}

} // namespace zaplo
