#pragma once
// Plain socket helpers for the soak's peers.
#include <chrono>
#include <cstdint>
#include <string>

using SoakClock = std::chrono::steady_clock;

double MsSince(SoakClock::time_point t0);
int Connect(uint16_t nPort, int nRcvBuf = 0);
void SendAll(int fd, const std::string& szData);
void SetNonBlocking(int fd);
