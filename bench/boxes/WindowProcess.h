// SPDX-License-Identifier: MIT
#pragma once
// The session windows the box bench measures: zaplo_bench_window processes, offscreen.
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

struct Window {
    pid_t pid = -1;
    uint16_t nPort = 0;
};

// Starts szWindow with args; returns its pid and its first line of output.
Window Start(const std::string& szWindow, const std::vector<std::string>& args,
             std::string* firstLine);
// A server window on a port that a client window can be given (1 to 32767).
Window StartServer(const std::string& szWindow);
Window StartClient(const std::string& szWindow, uint16_t nPort);
void Stop(Window& w);
