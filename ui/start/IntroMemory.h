// SPDX-License-Identifier: MIT
#pragma once

#include "ui/start/AnimClock.h"

#include <cstdint>

namespace zaplo {

// What one intro hands on to the next. The start-up loop owns one for the whole run and passes it
// to every start screen it creates; everything is cleared before the first one.
struct IntroMemory {
    bool bOverServer = false; // the pointer last crossed btnServer (true) or btnClient (false)
    AnimClock animClock;
    int16_t nAsmTopY = 0; // nY of the scrolling panel's first line
};

} // namespace zaplo
