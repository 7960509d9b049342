#include "ui/main/ModalLoop.h"

#include "base/AppState.h"

#include <QEventLoop>
#include <QTimer>
#include <QWidget>

namespace zaplo {

void ModalLoop::Run(QWidget& window, const AppState& state) {
    if (state.Ended()) {
        return;
    }
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
    QEventLoop loop;
    loop_ = &loop;
    // Whatever ends the program also ends this showing.
    QTimer endWatch;
    QObject::connect(&endWatch, &QTimer::timeout, &loop, [&state, &loop] {
        if (state.Ended()) {
            loop.quit();
        }
    });
    endWatch.start(20);
    if (window.isVisible() && !state.Ended()) {
        loop.exec();
    }
    loop_ = nullptr;
}

void ModalLoop::Quit() {
    if (loop_ != nullptr) {
        loop_->quit();
    }
}

} // namespace zaplo
