// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <string_view>

namespace zaplo {

struct LinkTimeouts;

// The system calls a TcpSocket makes on a connection's bare descriptor, where Qt offers
// nothing of the kind.
class SocketDescriptor {
public:
    // Keep-alive probes: the transport alone notices an idle peer that vanished.
    static void ApplyTimeouts(qintptr fd, const LinkTimeouts& timeouts);
    // Writes as much of szData as the system takes without waiting; returns how much that was.
    static std::size_t SendNow(qintptr fd, std::string_view szData);
    // Bytes the system still holds for sending that the peer has not acknowledged; 0 for no
    // descriptor or when the system does not tell.
    static int Unacknowledged(qintptr fd);
    static void Close(qintptr fd);
};

} // namespace zaplo
