// SPDX-License-Identifier: MIT
#include "bench/boxes/FakeHost.h"

#include "bench/boxes/BoxSocket.h"

#include <unistd.h>

FakeHost::FakeHost(const std::string& szWindow) {
    uint16_t nPort = 0;
    lfd_ = ListenLow(&nPort);
    client_ = StartClient(szWindow, nPort);
    host_.fd = accept(lfd_, nullptr, nullptr);
    (void)host_.WaitLine("{2}", Clock::now(), 5000);
    SleepMs(300);
    (void)WaitIdle(client_.pid, Clock::now());
}

FakeHost::~FakeHost() {
    close(host_.fd);
    close(lfd_);
    Stop(client_);
}

void FakeHost::Send(const std::string& data) {
    SendAll(host_.fd, data);
}

bool FakeHost::WaitRead(double nMaxMs) {
    const auto t0 = Clock::now();
    while (UnreadAtPeer(host_.fd) > 0) {
        if (MsSince(t0) > nMaxMs) {
            return false;
        }
        SleepMs(5);
    }
    return true;
}

double FakeHost::CpuFor(const std::string& data) {
    const double cpu0 = CpuMs(client_.pid);
    const auto t0 = Clock::now();
    Send(data);
    (void)WaitIdle(client_.pid, t0);
    return CpuMs(client_.pid) - cpu0;
}
