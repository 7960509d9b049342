// SPDX-License-Identifier: MIT
// A minimal line relay: the fastest a single-threaded server can pass CR LF lines between TCP
// clients on this machine. Every complete line that one connection sends is written to every
// other connection, unchanged and in order. Nothing blocks: each connection has an output buffer
// that is flushed when the socket takes it. No Qt, one epoll loop, one thread (like the program).
//
//   ./build/bench/relay/zaplo_bench_relay [port]      (0 or nothing: a free port)
// Prints the port it listens on (127.0.0.1) as the first line of stdout, then runs until killed.
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// Far above what the windowed flood leaves waiting for one receiver (about 1.2 MB), so that
// flood and paced runs never stop reading; it only holds senders that have no window.
constexpr size_t kMaxOut = size_t{4} << 20;

struct Conn {
    int fd = -1;
    std::string in;  // bytes after the last complete line
    std::string out; // bytes not yet taken by the socket
    size_t outPos = 0;
    bool wantWrite = false;
    bool wantRead = true;
    size_t Waiting() const { return out.size() - outPos; }
};

int g_epoll = -1;
std::vector<std::unique_ptr<Conn>> g_conns; // indexed by fd
bool g_bReading = true;                     // false while some output is over kMaxOut
bool g_bOverSeen = false;                   // an output crossed kMaxOut in this round

void SetInterest(Conn& c, bool bWrite) {
    const bool bRead = g_bReading;
    if (c.wantWrite == bWrite && c.wantRead == bRead) {
        return;
    }
    c.wantWrite = bWrite;
    c.wantRead = bRead;
    epoll_event ev{};
    ev.events = (bRead ? EPOLLIN : 0u) | (bWrite ? EPOLLOUT : 0u);
    ev.data.fd = c.fd;
    epoll_ctl(g_epoll, EPOLL_CTL_MOD, c.fd, &ev);
}

// Stops reading everyone while an output is over the bound, and starts again once none is.
void UpdateReading() {
    g_bOverSeen = false;
    bool bOver = false;
    for (const auto& c : g_conns) {
        if (c && c->Waiting() > kMaxOut) {
            bOver = true;
            break;
        }
    }
    if (bOver == !g_bReading) {
        return;
    }
    g_bReading = !bOver;
    for (const auto& c : g_conns) {
        if (c) {
            SetInterest(*c, c->wantWrite);
        }
    }
}

void CloseConn(int fd) {
    epoll_ctl(g_epoll, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    g_conns[fd].reset();
}

// Writes as much of the pending output as the socket takes; false when the peer is gone.
bool Flush(Conn& c) {
    while (c.outPos < c.out.size()) {
        ssize_t n = send(c.fd, c.out.data() + c.outPos, c.out.size() - c.outPos, MSG_NOSIGNAL);
        if (n > 0) {
            c.outPos += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            SetInterest(c, true);
            return true;
        }
        return false;
    }
    c.out.clear();
    c.outPos = 0;
    SetInterest(c, false);
    return true;
}

void Append(Conn& c, const char* p, size_t n) {
    if (c.outPos > 0 && c.outPos == c.out.size()) {
        c.out.clear();
        c.outPos = 0;
    } else if (c.outPos > (size_t{1} << 20) && c.outPos > c.out.size() / 2) {
        // A receiver that never quite catches up: drop the part already sent.
        c.out.erase(0, c.outPos);
        c.outPos = 0;
    }
    c.out.append(p, n);
}

std::vector<int> g_dirty;

void OnReadable(int fd) {
    static std::vector<char> buf(256 * 1024);
    Conn& c = *g_conns[fd];
    for (;;) {
        ssize_t n = recv(fd, buf.data(), buf.size(), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            CloseConn(fd);
            return;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        c.in.append(buf.data(), static_cast<size_t>(n));
        // Everything up to and including the last CR LF is complete lines; pass that part on in
        // one piece, which keeps the lines whole and in order.
        size_t end = c.in.rfind("\r\n");
        if (end != std::string::npos) {
            size_t len = end + 2;
            for (auto& other : g_conns) {
                if (other && other->fd != fd) {
                    bool bWasEmpty = other->out.size() == other->outPos;
                    Append(*other, c.in.data(), len);
                    if (bWasEmpty) {
                        g_dirty.push_back(other->fd);
                    }
                    if (other->Waiting() > kMaxOut) {
                        g_bOverSeen = true; // nobody more is read in this round
                    }
                }
            }
            c.in.erase(0, len);
        }
        if (static_cast<size_t>(n) < buf.size() || g_bOverSeen) {
            return;
        }
    }
}

// Listens on 127.0.0.1 at nPort (0: a free one); -1 when that fails.
int OpenListener(int nPort, sockaddr_in& addr) {
    int lfd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    int one = 1;
    setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    addr = sockaddr_in{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(lfd, 1024) != 0) {
        return -1;
    }
    return lfd;
}

// Takes every waiting connection and starts reading from it.
void AcceptAll(int lfd) {
    int one = 1;
    for (;;) {
        int cfd = accept4(lfd, nullptr, nullptr, SOCK_NONBLOCK);
        if (cfd < 0) {
            break;
        }
        setsockopt(cfd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (static_cast<size_t>(cfd) >= g_conns.size()) {
            g_conns.resize(static_cast<size_t>(cfd) + 1);
        }
        g_conns[cfd] = std::make_unique<Conn>();
        g_conns[cfd]->fd = cfd;
        epoll_event cev{};
        g_conns[cfd]->wantRead = g_bReading;
        cev.events = g_bReading ? EPOLLIN : 0u;
        cev.data.fd = cfd;
        epoll_ctl(g_epoll, EPOLL_CTL_ADD, cfd, &cev);
    }
}

void OnConnEvent(const epoll_event& event) {
    int fd = event.data.fd;
    if (static_cast<size_t>(fd) >= g_conns.size() || !g_conns[fd]) {
        return;
    }
    if (event.events & (EPOLLERR | EPOLLHUP)) {
        CloseConn(fd);
        return;
    }
    if (event.events & EPOLLOUT) {
        if (!Flush(*g_conns[fd])) {
            CloseConn(fd);
            return;
        }
    }
    if ((event.events & EPOLLIN) && g_bReading && !g_bOverSeen) {
        OnReadable(fd);
    }
}

// Hand the new output to the sockets once per round, so one write carries many lines.
void FlushDirty() {
    for (int fd : g_dirty) {
        if (static_cast<size_t>(fd) < g_conns.size() && g_conns[fd] && !g_conns[fd]->wantWrite) {
            if (!Flush(*g_conns[fd])) {
                CloseConn(fd);
            }
        }
    }
    g_dirty.clear();
}

} // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    int nPort = argc > 1 ? std::atoi(argv[1]) : 0;
    sockaddr_in addr{};
    int lfd = OpenListener(nPort, addr);
    if (lfd < 0) {
        std::perror("listen");
        return 1;
    }
    socklen_t alen = sizeof addr;
    getsockname(lfd, reinterpret_cast<sockaddr*>(&addr), &alen);
    std::printf("%d\n", ntohs(addr.sin_port));
    std::fflush(stdout);

    g_epoll = epoll_create1(0);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = lfd;
    epoll_ctl(g_epoll, EPOLL_CTL_ADD, lfd, &ev);
    std::vector<epoll_event> events(256);
    for (;;) {
        int n = epoll_wait(g_epoll, events.data(), static_cast<int>(events.size()), -1);
        if (n < 0 && errno != EINTR) {
            std::perror("epoll_wait");
            return 1;
        }
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == lfd) {
                AcceptAll(lfd);
            } else {
                OnConnEvent(events[i]);
            }
        }
        FlushDirty();
        UpdateReading();
    }
}
