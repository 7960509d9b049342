// SPDX-License-Identifier: MIT
#include "net/OpeningGate.h"

#include <cerrno>
#include <utility>

#include <sys/socket.h>
#include <unistd.h>

namespace zaplo {

OpeningGate::OpeningGate(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &OpeningGate::OnTimeout);
    notifier_.setEnabled(false);
    connect(&notifier_, &QSocketNotifier::activated, this, &OpeningGate::OnReadable);
}

OpeningGate::~OpeningGate() {
    Stop();
}

void OpeningGate::Watch(qintptr fd, int nMs) {
    Stop();
    fd_ = fd;
    notifier_.setSocket(fd_);
    notifier_.setEnabled(true);
    timer_.start(nMs);
}

void OpeningGate::Refuse(std::string_view szLine, int nLingerMs) {
    if (fd_ < 0) {
        return;
    }
    bRefusing_ = true;
    const int fd = static_cast<int>(fd_);
    // What the client sent first is read away, so that the close is a clean one: unread bytes
    // would turn it into a reset, which may cost the client the line.
    char buffer[4096];
    while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
    // A short line into an empty send buffer: taken whole or not at all.
    (void)::send(fd, szLine.data(), szLine.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    notifier_.setEnabled(true);
    timer_.start(nLingerMs);
}

qintptr OpeningGate::Release() {
    timer_.stop();
    // Not destroyed: this may run inside the notifier's own signal.
    notifier_.setEnabled(false);
    bRefusing_ = false;
    return std::exchange(fd_, -1);
}

void OpeningGate::Stop() {
    const qintptr fd = Release();
    if (fd >= 0) {
        ::close(static_cast<int>(fd));
    }
}

void OpeningGate::OnReadable() {
    if (fd_ < 0) {
        return;
    }
    const int fd = static_cast<int>(fd_);
    if (bRefusing_) {
        char buffer[4096];
        ssize_t n = 0;
        do {
            n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        } while (n > 0);
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            Finish();
        }
        return;
    }
    unsigned char chFirst = 0;
    const ssize_t n = ::recv(fd, &chFirst, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    // Closed or failed before a byte came: plain, and the socket that takes it finds out.
    timer_.stop();
    notifier_.setEnabled(false);
    Q_EMIT Decided(n == 1 && chFirst == kTlsHandshake);
}

void OpeningGate::OnTimeout() {
    if (fd_ < 0) {
        return;
    }
    if (bRefusing_) {
        Finish();
        return;
    }
    notifier_.setEnabled(false);
    Q_EMIT Decided(false);
}

void OpeningGate::Finish() {
    Stop();
    Q_EMIT Closed();
}

} // namespace zaplo
