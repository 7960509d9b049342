// SPDX-License-Identifier: MIT
#pragma once

#include "net/BanList.h"
#include "net/GuessLimiter.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace zaplo {

// Who the host lets in. At the accept, before the connection gets anything of the session: a
// banned address, an address waiting after wrong passwords (only while there is a password) and
// an address over its connection cap are refused, in that order. At the join, after the
// password: the user limit. Each refusal is the one status line the connection is told before it
// is closed. With nothing set everybody is let in, as always.
class AdmissionPolicy {
public:
    static constexpr const char* kBanned = "You are banned from this session.";
    static constexpr const char* kGuessing = "Too many wrong passwords; try again later.";
    static constexpr const char* kCrowded = "Too many connections from your address.";
    static constexpr const char* kFull = "The session is full.";
    static constexpr const char* kNeedsPassword = "This session needs a password.";
    static constexpr const char* kWrongPassword = "Wrong password.";

    // szKey: the new connection's PeerKey; nOpen: connections open from it, this one included.
    std::optional<std::string> AtAccept(const std::string& szKey, int nOpen, bool bPassword,
                                        int32_t lNow) const;
    // nJoined: clients that have joined so far (the host's own user not counted).
    std::optional<std::string> AtJoin(int nJoined) const;

    // 0: no limit.
    void SetMaxUsers(int nMax) { nMaxUsers_ = std::max(nMax, 0); }
    void SetMaxPerAddress(int nMax) { nMaxPerAddress_ = std::max(nMax, 0); }
    int MaxUsers() const { return nMaxUsers_; }
    int MaxPerAddress() const { return nMaxPerAddress_; }

    BanList& Bans() { return bans_; }
    const BanList& Bans() const { return bans_; }
    GuessLimiter& Guesses() { return guesses_; }
    const GuessLimiter& Guesses() const { return guesses_; }

private:
    BanList bans_;
    GuessLimiter guesses_;
    int nMaxUsers_ = 0;
    int nMaxPerAddress_ = 0;
};

} // namespace zaplo
