#include "net/TcpListener.h"

#include <QTimer>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zaplo {

TcpListener::TcpListener(QObject* parent) : QTcpServer(parent) {
    OpenSpare();
    connect(this, &QTcpServer::acceptError, this, &TcpListener::OnAcceptError);
}

TcpListener::~TcpListener() {
    if (spareFd_ >= 0) {
        ::close(spareFd_);
    }
}

void TcpListener::incomingConnection(qintptr handle) {
    Q_EMIT ConnectionRequest(handle);
}

void TcpListener::OpenSpare() {
    if (spareFd_ < 0) {
        spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
}

bool TcpListener::ShedOne() {
    if (spareFd_ < 0 || !isListening()) {
        return false;
    }
    // Free one descriptor for just long enough to take the waiting connection and close it.
    ::close(spareFd_);
    spareFd_ = -1;
    const int fd = ::accept4(static_cast<int>(socketDescriptor()), nullptr, nullptr,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        ++nShed_;
    }
    OpenSpare();
    return fd >= 0;
}

void TcpListener::OnAcceptError(QAbstractSocket::SocketError error) {
    // Qt has paused accepting. Out of descriptors: shed the waiting client and go on at once;
    // anything else (or shedding failed): try again a little later instead of spinning.
    if (error == QAbstractSocket::SocketResourceError && ShedOne()) {
        resumeAccepting();
        return;
    }
    QTimer::singleShot(kResumeDelayMs, this, [this] {
        if (isListening()) {
            resumeAccepting();
        }
    });
}

} // namespace zaplo
