// SPDX-License-Identifier: MIT
#include "base/AppState.h"

#include "base/Ticks.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace zaplo {

AppState::AppState()
    : GetTicks(&zaplo::GetTicks),
      Sleep([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }), onEnd([] {
          // Immediate: no window handler runs any more, connections close with the process.
          std::fflush(nullptr);
          std::_Exit(0);
      }) {}

void AppState::EndProgram() {
    bEnded_ = true;
    if (onEnd) {
        onEnd();
    }
    // A watch may end a loop that unwatches; work on a copy.
    const auto watches = endWatches_;
    for (const auto& watch : watches) {
        watch.second();
    }
}

int AppState::WatchEnd(std::function<void()> fn) {
    endWatches_.emplace_back(++nNextWatch_, std::move(fn));
    return nNextWatch_;
}

void AppState::UnwatchEnd(int nId) {
    std::erase_if(endWatches_, [nId](const auto& watch) { return watch.first == nId; });
}

} // namespace zaplo
