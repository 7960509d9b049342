// SPDX-License-Identifier: MIT
#include "net/SocketDescriptor.h"

#include "base/LinkTimeouts.h"

#include <algorithm>
#include <cerrno>

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zaplo {

// Keep-alive probes on an idle link. No TCP user timeout: Linux would also end a live link whose
// slow reader keeps its window shut for that long (SilenceWatch does that job instead).
void SocketDescriptor::ApplyTimeouts(qintptr fd, const LinkTimeouts& timeouts) {
    const int s = static_cast<int>(fd);
    const int nOn = 1;
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &nOn, sizeof nOn);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &timeouts.nIdleS, sizeof timeouts.nIdleS);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &timeouts.nIntervalS, sizeof timeouts.nIntervalS);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &timeouts.nProbes, sizeof timeouts.nProbes);
}

std::size_t SocketDescriptor::SendNow(qintptr fd, std::string_view szData) {
    std::size_t nDone = 0;
    while (fd >= 0 && nDone < szData.size()) {
        const ssize_t n = ::send(static_cast<int>(fd), szData.data() + nDone, szData.size() - nDone,
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            nDone += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return nDone;
}

int SocketDescriptor::Unacknowledged(qintptr fd) {
    int nQueued = 0;
    if (fd < 0 || ::ioctl(static_cast<int>(fd), SIOCOUTQ, &nQueued) != 0) {
        nQueued = 0;
    }
    return nQueued;
}

void SocketDescriptor::Close(qintptr fd) {
    ::close(static_cast<int>(fd));
}

} // namespace zaplo
