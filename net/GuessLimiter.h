// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace zaplo {

// How often one address may guess the session password. kFreeGuesses wrong answers are looked
// at without delay; from the kFreeGuesses-th on, each makes the address wait, kFirstWaitMs at
// first and twice as long per further failure, at most kMaxWaitMs. While it waits its answers
// are not looked at at all, so guessing costs the host nothing and a guesser gets a handful of
// tries per quarter hour. Plain numbers on the program's wrapping millisecond ticks; nothing is
// kept beyond the session.
class GuessLimiter {
public:
    static constexpr int kFreeGuesses = 5;
    static constexpr int32_t kFirstWaitMs = 60'000;
    static constexpr int32_t kMaxWaitMs = 15 * 60'000;
    // Addresses remembered at most. Beyond it those not waiting are forgotten first, then the
    // one whose wait ends soonest.
    static constexpr std::size_t kMaxAddresses = 4096;

    // Whether answers from szKey (a PeerKey) are not to be looked at now.
    bool Waiting(const std::string& szKey, int32_t lNow) const;
    // One more wrong answer from szKey.
    void Failed(const std::string& szKey, int32_t lNow);
    // Wrong answers counted for szKey.
    int Failures(const std::string& szKey) const;
    // How long the wait after nFailures wrong answers is (0: none).
    static int32_t WaitAfter(int nFailures);
    std::size_t Addresses() const { return addresses_.size(); }

private:
    struct Record {
        int nFailures = 0;
        int32_t lUntil = 0; // waiting until this tick, when nFailures >= kFreeGuesses
    };
    bool IsWaiting(const Record& record, int32_t lNow) const;
    void MakeRoom(int32_t lNow);

    std::unordered_map<std::string, Record> addresses_;
};

} // namespace zaplo
