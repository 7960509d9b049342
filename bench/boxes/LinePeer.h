// SPDX-License-Identifier: MIT
#pragma once
// A peer of the box bench that reads what it gets, line by line.
#include "bench/boxes/BoxMeasure.h"

#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>

struct LinePeer {
    int fd = -1;
    std::string buf;

    // Reads what is there (waiting up to nWaitMs); calls onLine for each whole line.
    template <typename F> void Pump(int nWaitMs, F&& onLine) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, nWaitMs) <= 0) {
            return;
        }
        char chunk[65536];
        for (;;) {
            const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n <= 0) {
                break;
            }
            buf.append(chunk, static_cast<std::size_t>(n));
        }
        std::size_t pos = 0;
        for (std::size_t end; (end = buf.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
            onLine(std::string_view(buf).substr(pos, end - pos));
        }
        buf.erase(0, pos);
    }
    // Waits for a line that starts with prefix; returns ms waited or -1.
    double WaitLine(const std::string& prefix, Clock::time_point t0, double nMaxMs);
};
