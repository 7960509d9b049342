// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zaplo {

// The session password's challenge and answer. The host sends each new connection a fresh
// challenge; the answer is HMAC-SHA-256 keyed with the password over the challenge, so the
// password itself never crosses the wire and an answer overheard on one connection is worth
// nothing on the next. Texts are lowercase hex.
class SessionPassword {
public:
    // Random bytes in a challenge (twice as many hex digits), and hex digits in an answer.
    static constexpr std::size_t kChallengeBytes = 16;
    static constexpr std::size_t kChallengeDigits = 2 * kChallengeBytes;
    static constexpr std::size_t kAnswerDigits = 64;

    // szPassword: its UTF-8 bytes are the key.
    explicit SessionPassword(std::string szPassword);

    // A fresh challenge from the system's random source.
    static std::string NewChallenge();
    // Whether szChallenge has the form of a challenge (what a client answers at all).
    static bool IsChallenge(std::string_view szChallenge);
    // The answer to szChallenge under szPassword.
    static std::string AnswerFor(std::string_view szPassword, std::string_view szChallenge);

    // Whether szAnswer is the answer to szChallenge, compared in constant time.
    bool Check(std::string_view szChallenge, std::string_view szAnswer) const;

private:
    std::string szPassword_;
};

} // namespace zaplo
