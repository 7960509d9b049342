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
}

} // namespace zaplo
