// SPDX-License-Identifier: MIT
#include "bench/soak/SoakSocket.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using Clock = SoakClock;

namespace {

sockaddr_in Loopback(uint16_t nPort, const char* szAddress) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(nPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (szAddress != nullptr) {
        ::inet_pton(AF_INET, szAddress, &addr.sin_addr);
    }
    return addr;
}

// A TCP socket with the receive buffer asked for, bound to szFrom when given.
int NewSocket(int nRcvBuf, const char* szFrom) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (nRcvBuf > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &nRcvBuf, sizeof nRcvBuf);
    }
    if (szFrom != nullptr) {
        const sockaddr_in from = Loopback(0, szFrom);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
            std::perror("bind");
        }
    }
    return fd;
}

void NoDelay(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

} // namespace

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

int Connect(uint16_t nPort, int nRcvBuf, const char* szFrom) {
    const int fd = NewSocket(nRcvBuf, szFrom);
    const sockaddr_in addr = Loopback(nPort, nullptr);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        std::perror("connect");
    }
    NoDelay(fd);
    return fd;
}

int ConnectWithin(uint16_t nPort, const char* szFrom, int nMs) {
    const int fd = NewSocket(0, szFrom);
    SetNonBlocking(fd);
    const sockaddr_in addr = Loopback(nPort, nullptr);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        pollfd pfd{fd, POLLOUT, 0};
        int nError = 0;
        socklen_t nLen = sizeof nError;
        if (::poll(&pfd, 1, nMs) != 1 ||
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &nError, &nLen) != 0 || nError != 0) {
            ::close(fd);
            return -1;
        }
    }
    NoDelay(fd);
    return fd;
}

void SendAll(int fd, const std::string& szData) {
    std::size_t n = 0;
    while (n < szData.size()) {
        const ssize_t r = ::send(fd, szData.data() + n, szData.size() - n, MSG_NOSIGNAL);
        if (r <= 0) {
            return;
        }
        n += static_cast<std::size_t>(r);
    }
}

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}
