// SPDX-License-Identifier: MIT
#pragma once
// The soak's pacing phases over swarms of peers (Swarm.h): slow links are readers with a small
// receive buffer reading a fixed number of bytes per second.
#include "bench/soak/SoakOptions.h"

// A flooder, a reader taking 125 KB/s, a talker (5 lines/s) and a fast reader.
void RunFloodPhase(const SoakOptions& options);
// The same with a plain slow reader: the system's own receive buffer in front of its 125 KB/s.
void RunFloodPlainPhase(const SoakOptions& options);
// 20 drawers at 100 records/s, alone and with one reader taking 32 KB/s.
void RunDrawersPhase(const SoakOptions& options);
// The 20 drawers while every one takes only 32 KB/s.
void RunAlikePhase(const SoakOptions& options);
