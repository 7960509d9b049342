#pragma once

#include "app/AppState.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdint>
#include <string>

namespace zaplo::test {

// State for a window under test: ending the program is only recorded, the server listens on a
// free loopback port, and the clock runs fast so a client's connection wait gives up at once.
inline void PrepareState(AppState& state, int32_t nMode, const std::string& nick) {
    state.onEnd = nullptr;
    state.nMode = nMode;
    state.szNick = nick;
    state.szListenHost = "127.0.0.1";
    state.szServerIP = "127.0.0.1";
    state.nPort = 0;
    state.GetTicks = [ticks = int32_t{0}]() mutable {
        ticks += 10000;
        return ticks;
    };
    state.Sleep = [](int) {};
}

// Closes every modal message box that shows up while it lives, remembering the last one's text.
class MessageBoxCloser {
public:
    MessageBoxCloser() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text_ = box->text();
                caption_ = box->windowTitle();
                ++count_;
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer_.start(10);
    }
    QString Text() const { return text_; }
    QString Caption() const { return caption_; }
    int Count() const { return count_; }

private:
    QTimer timer_;
    QString text_;
    QString caption_;
    int count_ = 0;
};

} // namespace zaplo::test
