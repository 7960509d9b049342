#include "net/PeerAddress.h"

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

} // namespace zaplo
