// SPDX-License-Identifier: MIT
#pragma once

#include "net/AddressPrefix.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zaplo {

// The addresses and networks the host has banned for the session, in the order banned. Kept in
// memory only: a ban ends with the session.
class BanList {
public:
    // Most bans kept; a ban beyond it is refused. A list this long is looked through once per
    // accepted connection, which stays cheap.
    static constexpr std::size_t kMaxBans = 4096;

    // False when it is banned already or the list is full.
    bool Add(const AddressPrefix& prefix);
    // False when there is no such ban (the same network, written in any form).
    bool Lift(const AddressPrefix& prefix);
    // Whether a connection with this PeerKey is banned.
    bool Contains(std::string_view szKey) const;
    // Text forms, in the order banned.
    std::vector<std::string> List() const;
    std::size_t Size() const { return bans_.size(); }

private:
    std::vector<AddressPrefix> bans_;
};

} // namespace zaplo
