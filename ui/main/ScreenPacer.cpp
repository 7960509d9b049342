// SPDX-License-Identifier: MIT
#include "ui/main/ScreenPacer.h"

#include <utility>

namespace zaplo {

ScreenPacer::ScreenPacer(int64_t nPaceUs, int64_t nBudgetUs, std::function<void()> show,
                         QObject* parent)
    : QObject(parent), pacer_(nPaceUs, nBudgetUs), show_(std::move(show)) {
    clock_.start();
    batch_.setSingleShot(true);
    connect(&batch_, &QTimer::timeout, this, [this] {
        const int64_t nStart = NowUs();
        show_();
        const int64_t nNow = NowUs();
        pacer_.DoneBatch(nNow, nNow - nStart);
    });
}

void ScreenPacer::Added(bool bOnly) {
    const int64_t nNow = NowUs();
    if (bOnly && pacer_.TryNow(nNow)) {
        show_();
        pacer_.Spent(NowUs() - nNow);
    } else if (!batch_.isActive()) {
        batch_.start(static_cast<int>((pacer_.WaitUs(nNow) + 999) / 1000));
    }
}

} // namespace zaplo
