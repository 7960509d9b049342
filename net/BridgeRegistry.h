// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace zaplo {

// Who stands behind a connection that a bridge of this host opens to the session for a browser:
// the bridge's own source port, mapped to the browser's address key (the PeerKey form). The
// server's per-address rules (rate, caps, bans) look the key up here for connections that come
// from this host, so a browser counts as its own address and not as the host's. An entry lives
// as long as the bridge's socket, which holds the port for itself meanwhile. Plain numbers and
// bytes, no sockets.
class BridgeRegistry {
public:
    // The bridge on source port nPort carries the browser at szKey. False (nothing changed) for
    // port 0, an empty key or a port already taken.
    bool Add(uint16_t nPort, std::string szKey);
    // The bridge on nPort has gone; nothing when there is none.
    void Remove(uint16_t nPort);
    // The browser's key for a connection from this host's port nPort; none when no bridge uses
    // that port (then the connection is this host's own).
    std::optional<std::string> KeyOf(uint16_t nPort) const;
    std::size_t Size() const { return keys_.size(); }

private:
    std::unordered_map<uint16_t, std::string> keys_;
};

} // namespace zaplo
