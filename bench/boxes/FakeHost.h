// SPDX-License-Identifier: MIT
#pragma once
// A client window with this program as its host: whatever the host sends, the window takes as
// the session's.
#include "bench/boxes/LinePeer.h"
#include "bench/boxes/WindowProcess.h"

class FakeHost {
public:
    // Starts the client window, takes its connection and its join, and waits until it is idle.
    explicit FakeHost(const std::string& szWindow);
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    pid_t Pid() const { return client_.pid; }
    void Send(const std::string& data);
    // Waits until the window has read all that was sent (at most nMaxMs); false if it has not.
    bool WaitRead(double nMaxMs);
    // Sends data and waits until the window is idle again: the main thread's CPU ms it took.
    double CpuFor(const std::string& data);

private:
    int lfd_ = -1;
    Window client_;
    LinePeer host_;
};
