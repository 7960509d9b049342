#pragma once

#include "app/AppState.h"
#include "ui/start/IntroMemory.h"

#include <cstdint>
#include <functional>

namespace zaplo {

// Program state with a hand-driven clock: GetTicks reads `now`, Sleep only counts (and may run a
// hook), and ending the program is only recorded.
struct IntroHarness {
    AppState state;
    IntroMemory memory;
    int32_t now = 1000;
    int sleeps = 0;
    std::function<void()> onSleep;

    IntroHarness() {
        state.GetTicks = [this] { return now; };
        state.Sleep = [this](int ms) {
            ++sleeps;
            now += ms;
            if (onSleep) {
                onSleep();
            }
        };
        state.onEnd = nullptr;
    }
};

} // namespace zaplo
