// SPDX-License-Identifier: MIT
#pragma once
// The server of a soak phase in a process of its own, so that its memory is the server's alone.
#include <cstdint>
#include <functional>
#include <string>

// The server process: one session in server mode on 127.0.0.1; prints its port, runs until its
// input closes, then prints its peak resident memory in KB.
int RunServer(int argc, char** argv);

// Starts a fresh server process from szProgram (run with "--server"), runs fn(port) against
// it, and stops it; nPeakKb gets its peak resident memory.
void WithServer(const std::string& szProgram, const std::function<void(uint16_t)>& fn,
                long& nPeakKb);
// The same for an fn that prints the start of a line: the line ends with the server's peak
// resident memory, named szLabel.
void WithServerToLineEnd(const std::string& szProgram, const std::function<void(uint16_t)>& fn,
                         const char* szLabel = "peak RSS");
