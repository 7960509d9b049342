// SPDX-License-Identifier: MIT
#pragma once
// The box bench's phases; each prints its own section.
#include "bench/boxes/BoxBench.h"

// One long chat line of several kinds at a server window and at a client window.
void Lines(const BoxBench& bench);
// A client window's resident memory per byte of status text received.
void Memory(const BoxBench& bench);
// A peer floods 1,000-byte chat lines while a talker times its echo.
void Flood(const BoxBench& bench);
// A peer sends a 256 KiB unbreakable chat line every 2 s while a talker times its echo.
void LongLines(const BoxBench& bench);
// A peer joins and leaves in a loop while a talker times its echo.
void Churn(const BoxBench& bench);
// A hostile host sends 400,000 joins in 10 s to a client window.
void Joins(const BoxBench& bench);
// A hostile host sends a 50,000-name user list 200 times.
void Lists(const BoxBench& bench);
// A client window's main thread CPU per MB of clears, of draw and clear pairs, and of draws.
void Clears(const BoxBench& bench);
