// SPDX-License-Identifier: MIT
#include "bench/boxes/BoxSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

int Connect(uint16_t nPort) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(nPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void SendAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

int ListenLow(uint16_t* nPort) {
    std::mt19937 rng(static_cast<unsigned>(getpid()));
    for (int tries = 0; tries < 200; ++tries) {
        const auto port = static_cast<uint16_t>(20000 + rng() % 12000);
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(fd, 4) == 0) {
            *nPort = port;
            return fd;
        }
        close(fd);
    }
    std::fprintf(stderr, "no port to listen on\n");
    std::exit(1);
}

long UnreadAtPeer(int fd) {
    sockaddr_in here{};
    sockaddr_in there{};
    socklen_t nHere = sizeof here;
    socklen_t nThere = sizeof there;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&here), &nHere) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&there), &nThere) != 0) {
        return -1;
    }
    // The other end's row: its local port is our peer's, its remote port ours.
    char szLocal[16];
    char szRemote[16];
    std::snprintf(szLocal, sizeof szLocal, ":%04X", ntohs(there.sin_port));
    std::snprintf(szRemote, sizeof szRemote, ":%04X", ntohs(here.sin_port));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream row(line);
        std::string slot, local, remote, state, queues;
        row >> slot >> local >> remote >> state >> queues;
        if (local.ends_with(szLocal) && remote.ends_with(szRemote)) {
            return std::strtol(queues.substr(queues.find(':') + 1).c_str(), nullptr, 16);
        }
    }
    return -1;
}
