// SPDX-License-Identifier: MIT
#pragma once
// Plain socket helpers for the soak's peers.
#include <chrono>
#include <cstdint>
#include <string>

using SoakClock = std::chrono::steady_clock;

double MsSince(SoakClock::time_point t0);
// Connects to 127.0.0.1:nPort, from the address szFrom when one is given (loopback takes any
// 127.x.y.z, so one machine can be several peers' addresses).
int Connect(uint16_t nPort, int nRcvBuf = 0, const char* szFrom = nullptr);
// The same without waiting longer than nMs for the connection; -1 when it did not come.
int ConnectWithin(uint16_t nPort, const char* szFrom, int nMs);
void SendAll(int fd, const std::string& szData);
void SetNonBlocking(int fd);
