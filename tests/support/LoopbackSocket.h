// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A blocking socket of its own connected to 127.0.0.1:nPort, with a small receive buffer when
// nRcvBuf > 0 (for peers that read slowly or not at all); -1 on failure.
inline int LoopbackSocket(uint16_t nPort, int nRcvBuf = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (nRcvBuf > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &nRcvBuf, sizeof nRcvBuf);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
