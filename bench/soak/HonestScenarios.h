// SPDX-License-Identifier: MIT
#pragma once
// The first soak scenarios: three honest clients (Honest.h) alone, then beside 20 non-readers
// and each hostile peer in turn, every scenario against a fresh server.
#include "bench/soak/SoakOptions.h"

void RunHonestScenarios(const SoakOptions& options);
