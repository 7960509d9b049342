// SPDX-License-Identifier: MIT
#pragma once

#include "base/WorkPacer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

namespace zaplo {

// When a box puts what waits for it on screen: at once while its WorkPacer allows, otherwise in
// one batch once the pacer's window is over. The boxes share it so that a flood of lines or rows
// costs one screen update per window, not one per item.
class ScreenPacer : public QObject {
    Q_OBJECT
public:
    // show puts everything that waits on screen.
    ScreenPacer(int64_t nPaceUs, int64_t nBudgetUs, std::function<void()> show,
                QObject* parent = nullptr);

    // Something new waits; bOnly when it is the only thing waiting, which may go on screen now.
    void Added(bool bOnly);
    // What waited is on screen (or gone): no batch needed.
    void Cancel() { batch_.stop(); }

private:
    int64_t NowUs() const { return clock_.nsecsElapsed() / 1000; }

    WorkPacer pacer_;
    std::function<void()> show_;
    QElapsedTimer clock_;
    QTimer batch_;
};

} // namespace zaplo
