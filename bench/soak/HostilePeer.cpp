// SPDX-License-Identifier: MIT
#include "bench/soak/HostilePeer.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// What kind sends first: its join and, but for the flooder, all it ever sends.
std::string Opening(Hostile kind) {
    std::string szOut;
    if (kind == Hostile::Flood) {
        szOut = "{2}flood\r\n";
    } else if (kind == Hostile::Bulk) {
        szOut = "{2}bulk\r\n";
        const std::string szLine = "{10}" + std::string(59999, '0') + "5;6;7;8;9;\r\n";
        for (int i = 0; i < 500; ++i) {
            szOut += szLine;
        }
    } else {
        for (int i = 0; i < 10000; ++i) {
            szOut += "{2}j" + std::to_string(i) + "\r\n";
        }
    }
    return szOut;
}

} // namespace

void RunHostile(Hostile kind, uint16_t nPort, Shared& shared, long& nReceived) {
    const int fd = Connect(nPort);
    std::string szOut = Opening(kind);
    SetNonBlocking(fd);
    std::string szFlood;
    for (int i = 0; i < 4096; ++i) {
        szFlood += "{10}1;2;3;4;5;\r\n";
    }
    std::size_t pos = 0;
    char buf[65536];
    while (!shared.bStop) {
        if (pos == szOut.size() && kind == Hostile::Flood) {
            szOut = szFlood;
            pos = 0;
        }
        pollfd pfd{fd, static_cast<short>(POLLIN | (pos < szOut.size() ? POLLOUT : 0)), 0};
        ::poll(&pfd, 1, 10);
        if (pos < szOut.size()) {
            const ssize_t r = ::send(fd, szOut.data() + pos, szOut.size() - pos, MSG_NOSIGNAL);
            if (r > 0) {
                pos += static_cast<std::size_t>(r);
            }
        }
        ssize_t r = 0;
        while ((r = ::recv(fd, buf, sizeof buf, 0)) > 0) {
            nReceived += r;
        }
        if (r == 0) {
            break;
        }
    }
    ::close(fd);
}
