#pragma once

#include <QtGlobal>

#include <string>

namespace zaplo {

// The address a connection comes from, as a key for per-address rules (connection rates,
// later bans): raw bytes, IPv4 (also when mapped into IPv6) as its 4 bytes, IPv6 by its /64,
// the network one host usually has whole. Empty when the descriptor has no peer.
std::string PeerKey(qintptr fd);

} // namespace zaplo
