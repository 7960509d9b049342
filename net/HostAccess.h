// SPDX-License-Identifier: MIT
#pragma once

#include "net/AdmissionPolicy.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zaplo {

class AppState;
class NetSession;
class SessionPassword;

// The server's say over who joins, for SessionHost: a session password (each new connection
// gets a challenge, "{12}" and 32 hex digits, and must answer it with the HMAC before its join
// counts), bans by address, a user limit and a cap on connections per address. Nothing of it
// happens unless it is asked for. A refused connection is told why in one status line and closed.
// Wrong answers make their address wait (GuessLimiter); while it waits its answers are not even
// looked at, and only the first answer of a connection is.
class HostAccess {
public:
    HostAccess(AppState& state, NetSession& session) : state_(state), session_(session) {}

    // A password (none: open) applies to connections from now on.
    void SetPassword(std::optional<std::string> szPassword);
    bool HasPassword() const { return password_ != nullptr; }
    // 0: no limit.
    void SetMaxUsers(int nMax) { admission_.SetMaxUsers(nMax); }
    void SetMaxPerAddress(int nMax) { admission_.SetMaxPerAddress(nMax); }
    bool Ban(int16_t iUser);
    bool AddBan(const std::string& szAddressOrPrefix);
    bool Unban(const std::string& szAddressOrPrefix);
    std::vector<std::string> Bans() const { return admission_.Bans().List(); }
    std::string AddressOf(int16_t iUser) const;
    int64_t PasswordChecks() const { return nChecks_; }

    // Before a new connection from szKey gets a slot: banned and waiting addresses, the ones
    // that come back in a loop, are turned away before they cost one.
    std::optional<std::string> AtDoor(const std::string& szKey);
    // Slot iUser has taken a new connection: the connection cap, then the challenge.
    void Accepted(int16_t iUser);
    // The dispatcher's questions (see PacketHost).
    bool Answered(int16_t iUser, const std::string& szAnswer);
    std::optional<std::string> JoinRefusal(int16_t iUser);

private:
    // What is known of one slot's current connection; reset when the slot takes a new one.
    struct SlotAccess {
        // The password in force when it was accepted; none: it was not challenged.
        std::shared_ptr<const SessionPassword> password;
        std::string szChallenge;
        bool bAnswered = false;
        bool bProven = false;
    };

    bool IsServer() const;
    SlotAccess* Access(int16_t iUser);

    AppState& state_;
    NetSession& session_;
    AdmissionPolicy admission_;
    std::shared_ptr<const SessionPassword> password_;
    std::vector<SlotAccess> access_;
    int64_t nChecks_ = 0;
};

} // namespace zaplo
