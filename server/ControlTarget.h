// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zaplo {

// What the operator's control commands act on: a running session's host, seen from outside.
class ControlTarget {
public:
    struct User {
        int16_t iSlot = 0;
        std::string szNick;    // as it arrived: a peer's bytes
        std::string szAddress; // the text form of the address key
    };

    virtual ~ControlTarget() = default;

    // The joined clients in the user list's order; the host's own row is not among them.
    virtual std::vector<User> Users() const = 0;
    // Closes the slot's connection, announced as any departure.
    virtual void Disconnect(int16_t iSlot) = 0;
    // Disconnects the slot and refuses its address from now on; false when it is not connected.
    virtual bool Ban(int16_t iSlot) = 0;
    virtual std::vector<std::string> Bans() const = 0;
    // False when there is no such ban.
    virtual bool Unban(const std::string& szAddress) = 0;
    // Everybody's canvas, as the Clear button.
    virtual void Clear() = 0;
    // A chat line from the host.
    virtual void Say(const std::string& szText) = 0;
    // None: no password from now on. Connections made before keep what they had.
    virtual void SetPassword(std::optional<std::string> szPassword) = 0;
    // The picture for newcomers; false when it cannot be turned on.
    virtual bool SetPicture(bool bOn) = 0;
};

} // namespace zaplo
