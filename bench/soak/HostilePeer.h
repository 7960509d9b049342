// SPDX-License-Identifier: MIT
#pragma once
// The soak's hostile peers: each sends its stream as fast as TCP takes it.
#include "bench/soak/SoakShared.h"

enum class Hostile { None, Flood, Bulk, Joins };

// Sends kind's stream until shared.bStop (a flooder sends for ever) and reads (and drops) all
// that comes back; nReceived counts the bytes.
void RunHostile(Hostile kind, uint16_t nPort, Shared& shared, long& nReceived);
