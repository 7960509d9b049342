// SPDX-License-Identifier: MIT
#pragma once
// The soak's join/leave phases.
#include "bench/soak/SoakOptions.h"

// A class of 30 joining at once, then one peer joining and leaving in a loop as fast as it can
// while a talker chats.
void RunChurnPhase(const SoakOptions& options);
// 60 receivers reading 32 KB/s each and a talker, while a churner joins and leaves in a loop
// from 10 addresses at the accept gate's limit.
void RunChurn60Phase(const SoakOptions& options);
