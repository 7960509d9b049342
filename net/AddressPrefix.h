// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zaplo {

// An address or a network of them, as the host names who may not join: "192.0.2.7",
// "10.0.0.0/8", "2001:db8:1:2::/64". It is matched against a connection's PeerKey (IPv4 whole,
// IPv6 by its /64), so an IPv6 prefix never reaches deeper than /64: a longer one, or a plain
// IPv6 address, stands for its /64. An IPv4 address mapped into IPv6 is taken as IPv4. Host
// bits below the prefix are cleared, so "10.1.2.3/8" and "10.0.0.0/8" are the same network.
class AddressPrefix {
public:
    // The deepest an IPv6 prefix goes: the part of the address PeerKey keeps.
    static constexpr int kV6KeyBits = 64;

    // None when szText is not an address or an address/N with N in range.
    static std::optional<AddressPrefix> Parse(std::string_view szText);
    // The whole address of a PeerKey (4 bytes: IPv4; 8 bytes: an IPv6 /64); none for other keys.
    static std::optional<AddressPrefix> FromKey(std::string_view szKey);

    // "192.0.2.7" for a whole IPv4 address, otherwise address "/" bits.
    std::string Text() const;
    // Whether a connection with this PeerKey comes from inside this prefix.
    bool Matches(std::string_view szKey) const;

    // The text form of a PeerKey, FromKey(szKey)->Text(); empty for none.
    static std::string KeyText(std::string_view szKey);

    bool IsV6() const { return bV6_; }
    int Bits() const { return nBits_; }

    friend bool operator==(const AddressPrefix&, const AddressPrefix&) = default;

private:
    AddressPrefix(bool bV6, const uint8_t* bytes, int nBits);

    bool bV6_ = false;
    // The network's first bytes: 4 for IPv4, 8 (the /64) for IPv6; bits below nBits_ are zero.
    uint8_t bytes_[8] = {};
    int nBits_ = 0;
};

} // namespace zaplo
