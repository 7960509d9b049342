// SPDX-License-Identifier: MIT
// The server's pacing and cutting decisions over plain numbers: whose bytes wait where, which
// senders are paced, which receivers are let go.
#include "net/FlowLedger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using zaplo::FlowLedger;

constexpr int64_t kShare = FlowLedger::kShare;

// Looks at every receiver the ledger watches, as the server does before a pass: the system took
// nothing, but each receiver acknowledged nAck bytes so far.
std::vector<int16_t> Decide(FlowLedger& ledger, int nReceivers, int64_t nAck = 0) {
    for (const int16_t r : std::vector<int16_t>(ledger.Behind())) {
        ledger.Look(r, ledger.Waiting(r), nAck);
    }
    std::vector<int16_t> cut;
    ledger.Decide(nReceivers, cut);
    return cut;
}

TEST(FlowLedger, OnlyTheSenderWhoseBytesPileUpIsPacedAndOnlyWhileTheyWait) {
    FlowLedger ledger;
    // Receiver 1 is slow; receiver 2 takes everything. Sender 3 floods, 4 talks.
    ledger.Queued(1, 3, kShare - 100);
    ledger.Queued(1, 4, 60);
    ledger.Queued(1, 3, 200);
    ledger.Queued(2, 3, kShare + 100);
    ledger.Empty(2);
    ledger.Queued(2, 4, 60);
    EXPECT_TRUE(Decide(ledger, 4).empty());
    EXPECT_TRUE(ledger.Paced(3));
    EXPECT_FALSE(ledger.Paced(4));
    EXPECT_EQ(ledger.Waiting(1, 3), kShare + 100);
    EXPECT_EQ(ledger.Waiting(1, 4), 60);
    EXPECT_EQ(ledger.Waiting(2), 60);
    // The system takes the first run and the talker's line: 3 is back within its share.
    ledger.Look(1, 200, 1);
    EXPECT_EQ(ledger.Waiting(1, 3), 200);
    EXPECT_EQ(ledger.Waiting(1, 4), 0);
    Decide(ledger, 4, 1);
    EXPECT_FALSE(ledger.Paced(3));
    // The server's own lines (slot 0: departures and user lists) are paced like anybody's,
    // which holds back newcomers, and only while they wait.
    ledger.Queued(1, 0, 10 * kShare);
    Decide(ledger, 4, 2);
    EXPECT_TRUE(ledger.Paced(0));
    EXPECT_FALSE(ledger.Paced(3));
    ledger.Look(1, 0, 3);
    Decide(ledger, 4, 3);
    EXPECT_FALSE(ledger.Paced(0));
}

TEST(FlowLedger, ShareShrinksWithTheSendersWaitingAtOneReceiver) {
    FlowLedger ledger;
    ledger.Queued(1, 2, 20 * 1024);
    ledger.Queued(1, 3, 20 * 1024);
    Decide(ledger, 3);
    EXPECT_EQ(ledger.Share(1), kShare);
    EXPECT_FALSE(ledger.Paced(2));
    for (int16_t s = 4; s < 24; ++s) {
        ledger.Queued(1, s, 14 * 1024);
    }
    Decide(ledger, 3);
    EXPECT_EQ(ledger.Share(1), FlowLedger::kPaceMark / 22);
    EXPECT_TRUE(ledger.Paced(2) && ledger.Paced(4) && ledger.Paced(23));
    for (int16_t s = 24; s < 200; ++s) {
        ledger.Queued(1, s, 1);
    }
    EXPECT_EQ(ledger.Share(1), FlowLedger::kMinShare);
}

TEST(FlowLedger, AReceiverThatTakesNothingHoldsNobodyBackAndIsCutOverTheBound) {
    FlowLedger ledger;
    ledger.SetNow(1000);
    ledger.Queued(1, 2, 2 * kShare);
    EXPECT_TRUE(Decide(ledger, 1, 5).empty());
    EXPECT_TRUE(ledger.Paced(2)); // not known yet whether it reads
    ledger.SetNow(1000 + FlowLedger::kStallMs);
    EXPECT_TRUE(Decide(ledger, 1, 5).empty());
    EXPECT_FALSE(ledger.Paced(2));
    // It kept acknowledging: a reader, so the sender waits for it.
    ledger.SetNow(1000 + FlowLedger::kStallMs + 10);
    Decide(ledger, 1, 6);
    EXPECT_TRUE(ledger.Paced(2));
    // More than kMaxUnsent: cut once it has taken nothing for kTakingMs.
    ledger.Queued(1, 0, FlowLedger::kMaxUnsent);
    EXPECT_TRUE(Decide(ledger, 1, 7).empty());
    ledger.SetNow(1000 + FlowLedger::kStallMs + 10 + FlowLedger::kTakingMs);
    EXPECT_EQ(Decide(ledger, 1, 7), std::vector<int16_t>{1});
    // Alone among receivers that all lag, but taking nothing past the lag bound: gone.
    FlowLedger quiet;
    quiet.SetNow(0);
    quiet.Queued(1, 2, kShare);
    EXPECT_TRUE(Decide(quiet, 1, 5).empty());
    quiet.SetNow(FlowLedger::kMaxLagMs);
    EXPECT_TRUE(Decide(quiet, 1, 5).empty());
    quiet.SetNow(FlowLedger::kMaxLagMs + 1);
    EXPECT_EQ(Decide(quiet, 1, 5), std::vector<int16_t>{1});
    // Its connection goes with its output.
    ledger.Drop(1);
    EXPECT_EQ(ledger.Waiting(1), 0);
    EXPECT_TRUE(ledger.Behind().empty());
}

TEST(FlowLedger, LagIsTheAgeOfTheOldestWaitingByte) {
    FlowLedger ledger;
    ledger.SetNow(-50); // across the counter's sign
    ledger.Queued(1, 2, 10 * 1024);
    ledger.SetNow(-50 + FlowLedger::kMarkMs / 2);
    ledger.Queued(1, 2, 10 * 1024); // same mark
    ledger.SetNow(200);
    ledger.Queued(1, 3, 10 * 1024);
    ledger.SetNow(1200);
    EXPECT_EQ(ledger.Lag(1), 1250);
    ledger.Look(1, 10 * 1024 + 1, 1);
    EXPECT_EQ(ledger.Lag(1), 1250); // one byte of the first mark still waits
    ledger.Look(1, 10 * 1024, 2);
    EXPECT_EQ(ledger.Lag(1), 1000);
    ledger.Look(1, 0, 3);
    EXPECT_EQ(ledger.Lag(1), 0);
}

TEST(FlowLedger, FarBehindTheOthersIsCutSlowAlikeIsPaced) {
    const auto Lagging = [](FlowLedger& ledger, int16_t r, int32_t lFrom) {
        ledger.SetNow(lFrom);
        ledger.Queued(r, 9, 2 * kShare);
    };
    // Receiver 1 lags while four others keep up: past kKeepUpMs it holds nobody back, past
    // kMaxLagMs it is cut.
    FlowLedger alone;
    Lagging(alone, 1, 0);
    int64_t nAck = 0;
    for (int32_t t = 0; t <= FlowLedger::kMaxLagMs; t += 500) {
        alone.SetNow(t);
        EXPECT_TRUE(Decide(alone, 5, ++nAck).empty()) << t;
        EXPECT_EQ(alone.Paced(9), t <= FlowLedger::kKeepUpMs) << t;
    }
    alone.SetNow(FlowLedger::kMaxLagMs + 1);
    EXPECT_EQ(Decide(alone, 5, ++nAck), std::vector<int16_t>{1});

    // Receivers 1..nLagging lag, the rest keep up: one is cut only when the others mostly keep
    // up; lagging alike, nobody is singled out and the sender is paced.
    struct Case {
        int16_t nLagging;
        int nReceivers;
        int32_t lNow;
        std::vector<int16_t> cut;
    };
    for (const Case& c : {Case{3, 4, 3 * FlowLedger::kMaxLagMs, {}},
                          {2, 3, 3 * FlowLedger::kMaxLagMs, {}},
                          {1, 2, FlowLedger::kMaxLagMs + 1, {1}}}) {
        FlowLedger ledger;
        for (int16_t r = 1; r <= c.nLagging; ++r) {
            Lagging(ledger, r, 0);
        }
        ledger.SetNow(c.lNow);
        EXPECT_EQ(Decide(ledger, c.nReceivers, 1), c.cut) << c.nLagging;
        EXPECT_TRUE(c.nLagging != 3 || ledger.Paced(9));
    }
}

TEST(FlowLedger, ANewConnectionOnASlotStartsWithNothingWaiting) {
    FlowLedger ledger;
    ledger.Queued(1, 2, 2 * kShare);
    ledger.Queued(1, 3, 100);
    Decide(ledger, 3);
    EXPECT_TRUE(ledger.Paced(2));
    ledger.NewSender(2);
    EXPECT_FALSE(ledger.Paced(2));
    EXPECT_EQ(ledger.Waiting(1, 2), 0);
    ledger.Queued(1, 2, 500);
    EXPECT_EQ(ledger.Waiting(1, 2), 500);
    // Taking the earlier connection's bytes leaves the new one's count alone.
    ledger.Look(1, 600, 1);
    EXPECT_EQ(ledger.Waiting(1, 2), 500);
    EXPECT_EQ(ledger.Waiting(1, 3), 100);
    EXPECT_EQ(ledger.Waiting(1), 600);
}

TEST(FlowLedger, ANewConnectionOnlyTakesBackWhatItsSlotStillHadWaiting) {
    // Receiver 1 has 21 senders waiting. Sender 40's bytes there were taken already, and sender 26
    // never sent there (its number lies within what the receiver has seen): a new connection on
    // either slot leaves the count of senders waiting, and so the share, as it was.
    FlowLedger ledger;
    ledger.Queued(1, 40, 1000);
    for (int16_t s = 2; s <= 22; ++s) {
        ledger.Queued(1, s, 1000);
    }
    ledger.Look(1, ledger.Waiting(1) - 1000, 1);
    EXPECT_EQ(ledger.Waiting(1, 40), 0);
    EXPECT_EQ(ledger.Share(1), FlowLedger::kPaceMark / 21);
    ledger.NewSender(40);
    EXPECT_EQ(ledger.Share(1), FlowLedger::kPaceMark / 21);
    ledger.NewSender(26);
    EXPECT_EQ(ledger.Share(1), FlowLedger::kPaceMark / 21);
    // A slot that still had bytes there is one sender fewer.
    ledger.NewSender(2);
    EXPECT_EQ(ledger.Share(1), FlowLedger::kPaceMark / 20);
    EXPECT_EQ(ledger.Waiting(1), 21 * 1000); // the bytes themselves still wait
}

} // namespace
