// SPDX-License-Identifier: MIT
#include "net/TcpListener.h"

#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zaplo {

namespace {

// At most this many connections are taken per readiness report, so one burst of clients
// cannot hold up everything else.
constexpr int kAcceptsPerWake = 64;

bool OutOfDescriptors(int nErrno) {
    return nErrno == EMFILE || nErrno == ENFILE || nErrno == ENOBUFS || nErrno == ENOMEM;
}

} // namespace

TcpListener::TcpListener(QObject* parent) : QObject(parent) {}

TcpListener::~TcpListener() {
    Close();
}

void TcpListener::SetError(int nErrno) {
    switch (nErrno) {
    case EADDRINUSE:
        lastError_ = QAbstractSocket::AddressInUseError;
        break;
    case EACCES:
    case EPERM:
        lastError_ = QAbstractSocket::SocketAccessError;
        break;
    case EADDRNOTAVAIL:
        lastError_ = QAbstractSocket::SocketAddressNotAvailableError;
        break;
    default:
        lastError_ = OutOfDescriptors(nErrno) ? QAbstractSocket::SocketResourceError
                                              : QAbstractSocket::UnknownSocketError;
        break;
    }
    szLastError_ = QString::fromLocal8Bit(std::strerror(nErrno));
}

bool TcpListener::Listen(const QHostAddress& address, quint16 nPort) {
    Close();
    sockaddr_storage storage{};
    socklen_t nLength = 0;
    int nFamily = AF_INET;
    if (address == QHostAddress::Any || address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(nPort);
        const Q_IPV6ADDR ip6 =
            address == QHostAddress::Any ? Q_IPV6ADDR{} : address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &ip6, sizeof ip6);
        nLength = sizeof(sockaddr_in6);
        nFamily = AF_INET6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(nPort);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        nLength = sizeof(sockaddr_in);
    }
    int fd = ::socket(nFamily, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 && nFamily == AF_INET6 && address == QHostAddress::Any) {
        // No IPv6 on this machine: every IPv4 address then.
        storage = {};
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(nPort);
        in4->sin_addr.s_addr = htonl(INADDR_ANY);
        nLength = sizeof(sockaddr_in);
        nFamily = AF_INET;
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    }
    if (fd < 0) {
        SetError(errno);
        return false;
    }
    const int nOn = 1;
    const int nOff = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    if (nFamily == AF_INET6) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &nOff, sizeof nOff);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), nLength) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        SetError(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    if (spareFd_ < 0) {
        spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TcpListener::OnReadable);
    return true;
}

void TcpListener::Close() {
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (spareFd_ >= 0) {
        ::close(spareFd_);
        spareFd_ = -1;
    }
}

quint16 TcpListener::ServerPort() const {
    if (fd_ < 0) {
        return 0;
    }
    sockaddr_storage storage{};
    socklen_t nLength = sizeof storage;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&storage), &nLength) != 0) {
        return 0;
    }
    if (storage.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
    }
    return ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
}

void TcpListener::OnReadable() {
    for (int i = 0; i < kAcceptsPerWake && fd_ >= 0 && notifier_->isEnabled(); ++i) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            // The handler may close the listener; the loop condition notices.
            Q_EMIT ConnectionRequest(fd);
            continue;
        }
        const int nErrno = errno;
        if (nErrno == EAGAIN || nErrno == EWOULDBLOCK) {
            return;
        }
        if (nErrno == EINTR || nErrno == ECONNABORTED || nErrno == EPROTO) {
            // That one connection is gone already; the next may be fine.
            continue;
        }
        if (OutOfDescriptors(nErrno) && ShedOne()) {
            continue;
        }
        SetError(nErrno);
        PauseAccepting();
        return;
    }
}

bool TcpListener::ShedOne() {
    if (spareFd_ < 0 || fd_ < 0) {
        return false;
    }
    // Free one descriptor for just long enough to take the waiting connection and close it.
    ::close(spareFd_);
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
    }
    spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    return fd >= 0;
}

void TcpListener::PauseAccepting(int nMs) {
    if (!notifier_) {
        return;
    }
    notifier_->setEnabled(false);
    QSocketNotifier* notifier = notifier_.get();
    QTimer::singleShot(nMs, notifier, [notifier] { notifier->setEnabled(true); });
}

} // namespace zaplo
