// SPDX-License-Identifier: MIT
// What the boxes keep, as numbers: the log's line and byte bounds, the pacing of screen work, and
// the user list's lookups by slot; and when a silent peer counts as gone.
#include "base/LogKeep.h"
#include "base/SilenceRule.h"
#include "base/WorkPacer.h"
#include "net/core/UserList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace zaplo;

TEST(LogKeep, KeepsTheNewestLinesWithinBothBoundsAndAlwaysTheNewest) {
    // Each line added, with how many lines it pushes out and what is kept afterwards.
    struct Step {
        std::size_t nAdd, nDropped, nLines, nBytes;
    };
    LogKeep keep(3, 100);
    for (const Step& step : {Step{10, 0, 1, 10},
                             {10, 0, 2, 20},
                             {10, 0, 3, 30},
                             {10, 1, 3, 30},   // the fourth line pushes out the first
                             {80, 1, 3, 100},  // one line too many; then exactly the byte bound
                             {15, 2, 2, 95},   // three lines but over the byte bound
                             {500, 2, 1, 500}, // bigger than the whole bound: kept alone
                             {1, 1, 1, 1}}) {
        EXPECT_EQ(keep.Add(step.nAdd), step.nDropped) << step.nAdd;
        EXPECT_EQ(keep.Lines(), step.nLines) << step.nAdd;
        EXPECT_EQ(keep.Bytes(), step.nBytes) << step.nAdd;
    }
    keep.Clear();
    EXPECT_EQ(keep.Lines(), 0U);
    EXPECT_EQ(keep.Bytes(), 0U);
}

TEST(LogKeep, AStreamOfLinesNeverExceedsTheBounds) {
    LogKeep keep(1000, 64 * 1024);
    std::size_t nKept = 0;
    for (std::size_t i = 0; i < 20'000; ++i) {
        const std::size_t nBytes = 1 + (i * 7919) % 300;
        nKept = nKept + 1 - keep.Add(nBytes);
        ASSERT_EQ(nKept, keep.Lines());
        ASSERT_LE(keep.Lines(), 1000U);
        ASSERT_LE(keep.Bytes(), 64U * 1024U);
    }
    EXPECT_GT(keep.Bytes(), 64U * 1024U - 300U); // full up to less than one line
}

TEST(SilenceRule, APeerIsGoneOnlyAfterTheBoundOfSilenceWhileDataWaited) {
    struct Look {
        int32_t lNow;
        bool bWaiting;
        int64_t nSinceAckMs;
        bool bGone;
    };
    struct Case {
        const char* szWhat;
        std::vector<Look> looks;
    };
    const std::vector<Case> cases = {
        // Long idle, so nothing was heard for long: only the wait since the send counts.
        {"send after a long idle",
         {{100'000, true, 90'000, false},
          {100'999, true, 91'000, false},
          {101'000, true, 91'001, true}}},
        // A slow reader behind a shut window answers its probes: never gone.
        {"answers keep coming",
         {{0, true, 0, false}, {5'000, true, 300, false}, {60'000, true, 999, false}}},
        // All was taken in between: the next wait starts afresh.
        {"the wait ends and starts again",
         {{0, true, 800, false},
          {900, false, 900, false},
          {1'500, true, 1'500, false},
          {2'499, true, 2'499, false},
          {2'500, true, 2'500, true}}},
        // The tick counter wraps.
        {"across the wrap",
         {{INT32_MAX - 200, true, 5'000, false}, {INT32_MIN + 799, true, 6'000, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szWhat);
        SilenceRule rule(1'000);
        rule.Sent(c.looks.front().lNow);
        for (const Look& look : c.looks) {
            EXPECT_EQ(rule.Vanished(look.lNow, look.bWaiting, look.nSinceAckMs), look.bGone)
                << "at " << look.lNow;
        }
    }
    // No bound: never.
    SilenceRule off(0);
    off.Sent(0);
    EXPECT_FALSE(off.Vanished(1'000'000, true, 1'000'000));
}

TEST(WorkPacer, DoesWorkAtOnceWithinTheTimeBudgetThenMakesTheRestWaitForTheWindowsEnd) {
    WorkPacer pacer(40'000, 10'000);
    EXPECT_TRUE(pacer.TryNow(1'000'000));
    pacer.Spent(6'000);
    EXPECT_TRUE(pacer.TryNow(1'010'000));
    pacer.Spent(4'000); // the budget is used up
    EXPECT_FALSE(pacer.TryNow(1'020'000));
    EXPECT_EQ(pacer.WaitUs(1'020'000), 20'000);
    // A new window would allow work again, but the batch that waits goes first.
    pacer.DoneBatch(1'040'000, 2'000);
    EXPECT_EQ(pacer.WaitUs(1'040'000), 40'000);
    EXPECT_TRUE(pacer.TryNow(1'041'000));
    pacer.Spent(50'000); // one piece may exceed the budget, the next then waits
    EXPECT_FALSE(pacer.TryNow(1'050'000));
    // Once something waits, nothing else in the window goes first, even after a pause.
    EXPECT_FALSE(pacer.TryNow(1'079'000));
    EXPECT_TRUE(pacer.TryNow(1'080'000)); // the window is over
    // A batch that took long makes the next window longer in proportion.
    pacer.DoneBatch(2'000'000, 25'000);
    EXPECT_EQ(pacer.WaitUs(2'000'000), 25'000 * WorkPacer::kBusyShare);
    EXPECT_TRUE(pacer.TryNow(2'050'000)); // within it, the budget is fresh
    pacer.Spent(10'000);
    EXPECT_FALSE(pacer.TryNow(2'060'000));
    EXPECT_EQ(pacer.WaitUs(2'060'000), 40'000);
    EXPECT_TRUE(pacer.TryNow(2'100'000));
    EXPECT_EQ(pacer.WaitUs(2'100'000), 40'000); // and the windows after it are ordinary again
}

// Lookups and removal by slot are checked against a plain list below; here the names and a
// cleared list.
TEST(UserList, NamesInOrderAndAClearedListStartsAfresh) {
    UserList users;
    users.Add("host", 0);
    users.Add("ann", 1);
    users.Add("bob", 2);
    users.Add("ann2", 1); // the same slot twice
    EXPECT_TRUE(users.Remove(1) && users.Remove(1));
    EXPECT_EQ(users.Names(), (std::vector<std::string>{"host", "bob"}));
    users.Clear();
    EXPECT_FALSE(users.RowOf(0));
    EXPECT_EQ(users.Size(), 0U);
    users.Add("again", 2);
    EXPECT_EQ(users.RowOf(2), 0U);
}

TEST(UserList, AgreesWithAPlainListThroughLongRunsOfJoinsAndDepartures) {
    // The plain list: rows in order, the first row of a slot found by a scan.
    std::vector<UserList::Row> plain;
    UserList users;
    uint32_t nRandom = 12345;
    const auto next = [&nRandom] { return nRandom = nRandom * 1103515245U + 12345U; };
    for (int i = 0; i < 20'000; ++i) {
        const auto iSlot = static_cast<int16_t>(next() % 64);
        const auto scan = std::find_if(plain.begin(), plain.end(),
                                       [&](const UserList::Row& r) { return r.iSlot == iSlot; });
        if (next() % 100 < 45) {
            const std::string szNick = "n" + std::to_string(i);
            plain.push_back({szNick, iSlot});
            users.Add(szNick, iSlot);
        } else {
            ASSERT_EQ(users.Remove(iSlot), scan != plain.end());
            if (scan != plain.end()) {
                plain.erase(scan);
            }
        }
        const auto probe = static_cast<int16_t>(next() % 64);
        const auto first = std::find_if(plain.begin(), plain.end(),
                                        [&](const UserList::Row& r) { return r.iSlot == probe; });
        if (first == plain.end()) {
            ASSERT_FALSE(users.RowOf(probe));
        } else {
            ASSERT_EQ(users.RowOf(probe), static_cast<std::size_t>(first - plain.begin()));
            ASSERT_EQ(users.Nickname(probe), first->szNick);
        }
        ASSERT_EQ(users.Size(), plain.size());
    }
    const std::vector<UserList::Row> rows = users.Rows();
    ASSERT_EQ(rows.size(), plain.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].szNick, plain[i].szNick);
        EXPECT_EQ(rows[i].iSlot, plain[i].iSlot);
    }
}
