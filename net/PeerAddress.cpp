// SPDX-License-Identifier: MIT
#include "net/PeerAddress.h"

#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace zaplo {

std::string PeerKey(qintptr fd) {
    sockaddr_storage storage{};
    socklen_t nLength = sizeof storage;
    if (::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&storage), &nLength) != 0) {
        return {};
    }
    if (storage.ss_family == AF_INET) {
        const auto* in4 = reinterpret_cast<const sockaddr_in*>(&storage);
        return {reinterpret_cast<const char*>(&in4->sin_addr), 4};
    }
    if (storage.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
        const auto* bytes = reinterpret_cast<const char*>(&in6->sin6_addr);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
            return {bytes + 12, 4};
        }
        return {bytes, 8};
    }
    return {};
}

uint16_t LocalPeerPort(qintptr fd) {
    sockaddr_storage peer{};
    sockaddr_storage local{};
    socklen_t nPeer = sizeof peer;
    socklen_t nLocal = sizeof local;
    if (::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &nPeer) != 0 ||
        ::getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&local), &nLocal) != 0 ||
        peer.ss_family != local.ss_family) {
        return 0;
    }
    if (peer.ss_family == AF_INET) {
        const auto* p4 = reinterpret_cast<const sockaddr_in*>(&peer);
        const auto* l4 = reinterpret_cast<const sockaddr_in*>(&local);
        const bool bLoopback = (ntohl(p4->sin_addr.s_addr) >> 24) == 127;
        return bLoopback || p4->sin_addr.s_addr == l4->sin_addr.s_addr ? ntohs(p4->sin_port) : 0;
    }
    if (peer.ss_family == AF_INET6) {
        const auto* p6 = reinterpret_cast<const sockaddr_in6*>(&peer);
        const auto* l6 = reinterpret_cast<const sockaddr_in6*>(&local);
        const bool bLoopback = IN6_IS_ADDR_LOOPBACK(&p6->sin6_addr) ||
                               (IN6_IS_ADDR_V4MAPPED(&p6->sin6_addr) &&
                                reinterpret_cast<const uint8_t*>(&p6->sin6_addr)[12] == 127);
        const bool bSame = std::memcmp(&p6->sin6_addr, &l6->sin6_addr, sizeof p6->sin6_addr) == 0;
        return bLoopback || bSame ? ntohs(p6->sin6_port) : 0;
    }
    return 0;
}

} // namespace zaplo
