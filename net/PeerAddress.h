// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <cstdint>
#include <string>

namespace zaplo {

// The address a connection comes from, as a key for per-address rules (connection rates,
// later bans): raw bytes, IPv4 (also when mapped into IPv6) as its 4 bytes, IPv6 by its /64,
// the network one host usually has whole. Empty when the descriptor has no peer.
std::string PeerKey(qintptr fd);
// The peer's port when the connection comes from this very host (a loopback address, or the
// peer address is the connection's own local one), else 0.
uint16_t LocalPeerPort(qintptr fd);

} // namespace zaplo
