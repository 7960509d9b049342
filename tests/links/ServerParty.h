// SPDX-License-Identifier: MIT
#pragma once
// What the server link tests share: a server session with raw peers joined, and ways to take
// away what the server relies on (descriptors, the right to bind low ports).
#include "tests/support/HeadlessHost.h"
#include "tests/support/RawPeer.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

inline std::unique_ptr<HeadlessHost> StartServer() {
    auto server = std::make_unique<HeadlessHost>(0, "host", FreeLowPort());
    server->Start();
    return server;
}

// A raw peer; with a nickname it also joins, and the answer to its join is taken off.
inline std::unique_ptr<RawPeer> Join(HeadlessHost& server, const char* szNick = nullptr) {
    auto peer = std::make_unique<RawPeer>(server.session->ListeningPort());
    bool bOk = peer->WaitState(QTcpSocket::ConnectedState);
    if (bOk && szNick != nullptr) {
        peer->Send("{2}" + QByteArray(szNick) + "\r\n");
        bOk = peer->TakeThrough("{8}").endsWith(";\r\n");
    }
    return bOk ? std::move(peer) : nullptr;
}

// A server with raw peers joined under the given nicknames, all join traffic taken off.
struct Party {
    explicit Party(std::initializer_list<const char*> nicks) {
        for (const char* szNick : nicks) {
            peers.push_back(Join(*server, szNick));
            bReady = bReady && peers.back();
        }
        const QByteArray last = "{2}" + QByteArray(*(nicks.end() - 1)) + "\r\n";
        for (std::size_t i = 0; bReady && i + 1 < peers.size(); ++i) {
            bReady = peers[i]->TakeThrough(last).endsWith(last);
        }
    }
    RawPeer& operator[](std::size_t i) { return *peers[i]; }
    std::unique_ptr<HeadlessHost> server = StartServer();
    std::vector<std::unique_ptr<RawPeer>> peers;
    bool bReady = true;
};

inline QByteArray DrawLines(int nCount, int nPad = 0) {
    QByteArray lines;
    for (int i = 0; i < nCount; ++i) {
        const QByteArray n = QByteArray::number(i);
        lines += "{10}" + n + ";2;3;4;" + n + ";" + QByteArray(nPad, 'p') + "\r\n";
    }
    return lines;
}

// The server's descriptor of a raw peer's connection.
inline int ServerSideFd(const RawPeer& peer) {
    for (int fd = 3; fd < 4096; ++fd) {
        sockaddr_in address{};
        socklen_t nLength = sizeof address;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &nLength) == 0 &&
            ntohs(address.sin_port) == peer.socket.localPort()) {
            return fd;
        }
    }
    return -1;
}

// Lets events run once the server's fd shows `nEvents`, as a relay does; false if it never does.
inline bool RunEventsOnceReady(int fd, short nEvents) {
    pollfd ready{fd, nEvents, 0};
    const bool bReady = ::poll(&ready, 1, 5000) == 1;
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
    }
    return bReady;
}

// Reads and drops what has come on fd; true once the other end has closed the connection.
inline bool SeesClose(int fd) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) {
            return n == 0 || errno == ECONNRESET;
        }
    }
}

// Takes the right to bind ports below 1024 from this thread (root has it) until destroyed.
struct NoLowPorts {
    NoLowPorts() {
        bOk = ::syscall(SYS_capget, &header, saved) == 0;
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~(1U << CAP_NET_BIND_SERVICE);
        bOk = bOk && ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~NoLowPorts() { ::syscall(SYS_capset, &header, saved); }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2]{};
    bool bOk = false;
};

// Lowers the descriptor limit to the lowest free descriptor: nothing new can be opened until
// destroyed.
struct NoDescriptorsLeft {
    NoDescriptorsLeft() {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        rlimit tight{};
        bOk = fd >= 0 && ::close(fd) == 0 && ::getrlimit(RLIMIT_NOFILE, &old) == 0;
        tight = {static_cast<rlim_t>(fd), old.rlim_max};
        bOk = bOk && ::setrlimit(RLIMIT_NOFILE, &tight) == 0;
    }
    ~NoDescriptorsLeft() { ::setrlimit(RLIMIT_NOFILE, &old); }
    rlimit old{};
    bool bOk = false;
};
