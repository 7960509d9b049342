// SPDX-License-Identifier: MIT
#pragma once
// Clocks and figures of the box bench, and what it reads of a window process from /proc.
#include <chrono>
#include <sys/types.h>
#include <vector>

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0);
void SleepMs(int ms);
// The p-th fraction of v, rounded to the nearest sample; -1 when there is none.
double Percentile(std::vector<double> v, double p);

double RssMb(pid_t pid);
// CPU time of the main (window) thread, in ms.
double CpuMs(pid_t pid);
// Waits until the window's main thread has been idle (under 3 ms CPU in 150 ms); returns the
// wall time from t0 to the start of that idle stretch. Gives up after nMaxMs.
double WaitIdle(pid_t pid, Clock::time_point t0, double nMaxMs = 120000);
