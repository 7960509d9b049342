// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace zaplo {

// The server's account of what waits to be sent to each client, and whose it is: the numbers
// behind whom to pace and whom to cut. Plain numbers, no sockets: the server link feeds it.
//
// Keys are slot numbers; as a sender, 0 is the server itself (its own lines, the departures it
// announces). For every receiver it keeps, in output order, runs of (sender, bytes) and time
// marks (where in the output a millisecond tick began), trimmed from the front as the system
// takes the bytes. From them: how many bytes of each sender wait at each receiver, and how old
// the oldest waiting byte is (the receiver's lag).
//
// Decisions (Decide):
// - A receiver is looked at once more than kBehindMark waits for it.
// - It holds senders back while it takes data (it acknowledged something within kStallMs) and
//   is not far behind the others (lag over kKeepUpMs while most other receivers keep up): then
//   every sender with more than its share waiting there is paced (not read). The share is
//   kPaceMark split among the senders with bytes waiting there, between kMinShare and kShare.
//   Senders whose lines do not pile up are never paced. The server itself (sender 0) is paced
//   like any sender: it then takes no newcomers until its bytes have gone.
// - It is cut when its lag passes kMaxLagMs while most other receivers keep up or while it takes
//   nothing (kStallMs), or when more than kMaxUnsent waits and it has acknowledged nothing for
//   kTakingMs. When every receiver is slow alike (but taking) nobody is cut: the senders are
//   paced instead.
class FlowLedger {
public:
    // A sender's bytes waiting at one receiver beyond which it is paced: about a quarter second
    // of a 1 Mbit/s link, so the lines of others wait at most that long behind a flood there.
    static constexpr int64_t kShare = 32 * 1024;
    // What a receiver may hold in all before its senders' shares shrink, and the smallest share.
    static constexpr int64_t kPaceMark = 256 * 1024;
    static constexpr int64_t kMinShare = 4 * 1024;
    // Receivers holding more are looked at (trimmed, measured, decided on) in every pass.
    static constexpr int64_t kBehindMark = 16 * 1024;
    // Most bytes kept for a receiver that does not take them.
    static constexpr int64_t kMaxUnsent = int64_t{2} * 1024 * 1024;
    // A reader acknowledges within a round trip while data waits for it.
    static constexpr int32_t kTakingMs = 100;
    // Long enough for any link that still works to acknowledge something (a few round trips and
    // retransmissions), short enough that a non-reader holds nobody back for long.
    static constexpr int32_t kStallMs = 2000;
    // A receiver whose oldest waiting byte is younger keeps up.
    static constexpr int32_t kKeepUpMs = 2000;
    // Lag at which a receiver far behind the others is let go: a chat line that late is no
    // longer part of the conversation, and a link that still works recovers from a loss burst
    // (several retransmission time-outs) well within it.
    static constexpr int32_t kMaxLagMs = 5000;
    // Granularity of the time marks (and of the lag).
    static constexpr int32_t kMarkMs = 10;

    // The clock for what is queued from now on (read once per pass, not per send).
    void SetNow(int32_t lNow) { lNow_ = lNow; }
    int32_t Now() const { return lNow_; }

    // nBytes from sender s were appended to receiver r's output.
    void Queued(int16_t r, int16_t s, int64_t nBytes);
    // Receiver r's output now holds nWaiting bytes not taken by the system; nAcknowledged is the
    // receiver's count of acknowledged bytes (progress when it changes).
    void Look(int16_t r, int64_t nWaiting, int64_t nAcknowledged);
    // r's output holds nothing any more (it was all taken): cheap when already so.
    void Empty(int16_t r) { Look(r, 0, -1); }
    // r's connection is gone with its output.
    void Drop(int16_t r);
    // Slot s carries a new connection: what its previous one sent is nobody's share now.
    void NewSender(int16_t s);

    // Receivers to Look at before Decide.
    const std::vector<int16_t>& Behind() const { return behind_; }
    // True when some receiver that is looked at lags more than kKeepUpMs: Decide then needs the
    // number of receivers.
    bool AnyLagging() const;
    // Decides with nReceivers connected receivers in all: fills cut with the receivers to let
    // go, marks the paced senders.
    void Decide(int nReceivers, std::vector<int16_t>& cut);
    bool Paced(int16_t s) const {
        return s >= 0 && static_cast<std::size_t>(s) < paced_.size() && paced_[s] != 0;
    }
    const std::vector<int16_t>& PacedSenders() const { return pacedList_; }

    int64_t Waiting(int16_t r) const;
    int64_t Waiting(int16_t r, int16_t s) const;
    // Milliseconds since the oldest waiting byte of r was queued; 0 when nothing waits.
    int32_t Lag(int16_t r) const;
    // Milliseconds since r last acknowledged something while bytes waited for it.
    int32_t SinceProgress(int16_t r) const;
    // Share of one sender at r now.
    int64_t Share(int16_t r) const;

private:
    struct Run {
        int16_t nSender;
        uint16_t nGeneration;
        uint32_t nBytes;
    };
    struct Mark {
        int64_t nOffset; // bytes queued to the receiver before this mark
        int32_t lTick;
    };
    struct Output {
        std::deque<Run> runs;
        std::deque<Mark> marks;
        std::vector<int64_t> from; // waiting bytes by sender slot
        int nSenders = 0;          // senders with bytes waiting
        int64_t nQueued = 0;       // ever queued
        int64_t nTaken = 0;        // ever taken by the system, as far as known
        int64_t nAcknowledged = -1;
        int32_t lProgress = 0;
        bool bBehind = false;
    };

    Output& Out(int16_t r);
    const Output* Find(int16_t r) const;
    void Trim(Output& out, int64_t nTaken);
    int32_t LagOf(const Output& out) const;

    std::vector<Output> outputs_;
    std::vector<uint16_t> generations_; // by sender slot
    std::vector<int16_t> behind_;
    std::vector<char> paced_;
    std::vector<int16_t> pacedList_;
    int32_t lNow_ = 0;
};

} // namespace zaplo
