// SPDX-License-Identifier: MIT
#include "server/SignalPipe.h"

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace zaplo {

namespace {

// The handler can only reach a plain global. Written once when the pipe is made, before the
// handlers are set, and read by them only.
int g_fdWrite = -1;
int g_fdRead = -1;
constexpr int kSignals[] = {SIGTERM, SIGINT};

extern "C" void OnSignal(int nSignal) {
    const int nSavedErrno = errno;
    const auto byte = static_cast<unsigned char>(nSignal);
    // A full pipe already holds a signal that has not been handled yet: nothing is lost.
    [[maybe_unused]] const ssize_t n = ::write(g_fdWrite, &byte, 1);
    errno = nSavedErrno;
}

} // namespace

SignalPipe::SignalPipe(QObject* parent) : QObject(parent) {
    int fds[2] = {-1, -1};
    if (g_fdWrite != -1 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
        return;
    }
    g_fdRead = fds[0];
    g_fdWrite = fds[1];
    bOwner_ = true;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bOk_ = true;
    for (const int nSignal : kSignals) {
        bOk_ = ::sigaction(nSignal, &action, nullptr) == 0 && bOk_;
    }
    notifier_ = std::make_unique<QSocketNotifier>(g_fdRead, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalPipe::Drain);
}

SignalPipe::~SignalPipe() {
    if (!bOwner_) {
        return;
    }
    for (const int nSignal : kSignals) {
        ::signal(nSignal, SIG_DFL);
    }
    notifier_.reset();
    ::close(g_fdRead);
    ::close(g_fdWrite);
    g_fdRead = g_fdWrite = -1;
}

void SignalPipe::Drain() {
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(g_fdRead, bytes, sizeof bytes);
        if (n <= 0) {
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            Q_EMIT Signalled(bytes[i]);
        }
    }
}

} // namespace zaplo
