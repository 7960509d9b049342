// SPDX-License-Identifier: MIT
// The picture as draw records: runs of a row, the feed that hands rows to newcomers, and the
// dispatcher's word that a join has been answered.
#include "net/core/DrawPacket.h"
#include "net/core/PacketProc.h"
#include "net/core/PictureFeed.h"
#include "net/core/PictureRuns.h"
#include "tests/support/FakeHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zaplo {
namespace {

using Run = PictureRuns::Run;
using Runs = std::vector<Run>;
constexpr int32_t kWhite = 16777215;

TEST(PictureRuns, OneRunPerStretchOfEqualColourOffTheBackground) {
    const std::vector<int32_t> row{kWhite, 255, 255, kWhite, 0, 65280, 65280, 65280};
    EXPECT_EQ(PictureRuns::RowRuns(row, 7, kWhite),
              (Runs{{1, 2, 7, 255}, {4, 4, 7, 0}, {5, 7, 7, 65280}}));
    // Nothing for a blank row or an empty one; a full row of one colour is one run.
    EXPECT_TRUE(PictureRuns::RowRuns(std::vector<int32_t>(9, kWhite), 0, kWhite).empty());
    EXPECT_TRUE(PictureRuns::RowRuns({}, 0, kWhite).empty());
    EXPECT_EQ(PictureRuns::RowRuns(std::vector<int32_t>(248, 7), 352, kWhite),
              (Runs{{0, 247, 352, 7}}));
}

TEST(PictureRuns, RecordsEndOnePastTheRunSinceLinesLeaveTheirEndPointOut) {
    std::string szOut = "x";
    const std::vector<int32_t> row{5, kWhite, kWhite, 255, 255};
    EXPECT_EQ(PictureRuns::AppendRow(szOut, row, -3, kWhite), 2U);
    EXPECT_EQ(szOut, "x{10}0;-3;1;-3;5;\r\n{10}3;-3;5;-3;255;\r\n");
    // Each record reads back as the segment it stands for.
    const auto record = ReadDrawPacket("3;-3;5;-3;255;");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->dx, 5);
    // Columns past the 16-bit range belong to no run, so x1 + 1 always fits.
    std::vector<int32_t> wide(PictureRuns::kMaxWidth + 5, 9);
    EXPECT_EQ(PictureRuns::RowRuns(wide, 0, kWhite).back().x1, 32766);
}

// A picture of 4 rows: rows 0 and 2 blank, rows 1 and 3 with `n` single-pixel runs each.
struct Picture {
    int nRuns = 0;
    int nReads = 0;
    PictureFeed::RowReader Reader() {
        return [this](int y, std::vector<int32_t>& row) {
            ++nReads;
            row.assign(static_cast<std::size_t>(2 * nRuns), kWhite);
            for (int i = 0; y % 2 == 1 && i < nRuns; ++i) {
                row[static_cast<std::size_t>(2 * i)] = y;
            }
        };
    }
};

TEST(PictureFeed, ChunksFollowTheNewcomersBacklogAndEndWithTheLastRow) {
    Picture picture{1000};
    PictureFeed feed(4, kWhite);
    EXPECT_TRUE(feed.NextChunk(1, 0, picture.Reader()).empty()); // not fed
    feed.Start(1);
    feed.Start(2);
    EXPECT_EQ(feed.Slots(), (std::vector<int16_t>{1, 2}));
    // Too much waiting: nothing is read or made.
    EXPECT_TRUE(feed.NextChunk(1, PictureFeed::kLowMark, picture.Reader()).empty());
    EXPECT_EQ(picture.nReads, 0);
    // Row 1 alone passes the chunk size, so the first chunk is rows 0 and 1.
    std::size_t nRecords = 0;
    const std::string szFirst =
        feed.NextChunk(1, PictureFeed::kLowMark - 1, picture.Reader(), &nRecords);
    EXPECT_EQ(nRecords, 1000U);
    EXPECT_GE(szFirst.size(), PictureFeed::kChunkBytes);
    EXPECT_EQ(szFirst.substr(0, 18), "{10}0;1;1;1;1;\r\n{1");
    EXPECT_EQ(picture.nReads, 2);
    // The rows are read when their chunk is made: a change in row 3 meanwhile goes with it.
    picture.nRuns = 2;
    const std::string szSecond = feed.NextChunk(1, 0, picture.Reader(), &nRecords);
    EXPECT_EQ(szSecond, "{10}0;3;1;3;3;\r\n{10}2;3;3;3;3;\r\n");
    EXPECT_EQ(nRecords, 2U);
    EXPECT_FALSE(feed.Feeding(1)); // ended with its last row
    EXPECT_TRUE(feed.Feeding(2));
    feed.Stop(2);
    EXPECT_TRUE(feed.Idle());
    // A blank picture ends in one chunk holding nothing.
    picture.nRuns = 0;
    feed.Start(3);
    EXPECT_TRUE(feed.NextChunk(3, 0, picture.Reader(), &nRecords).empty());
    EXPECT_EQ(nRecords, 0U);
    EXPECT_TRUE(feed.Idle());
}

TEST(PictureFeed, StartingAgainBeginsAtTheTop) {
    Picture picture{3000};
    PictureFeed feed(4, kWhite);
    feed.Start(5);
    EXPECT_FALSE(feed.NextChunk(5, 0, picture.Reader()).empty()); // rows 0, 1
    feed.Start(5);
    EXPECT_EQ(feed.Slots().size(), 1U);
    EXPECT_EQ(feed.NextChunk(5, 0, picture.Reader()).substr(0, 16), "{10}0;1;1;1;1;\r\n");
}

struct AnsweringHost : FakeHost {
    void JoinAnswered(int16_t iUser) override {
        calls.push_back("Answered:" + std::to_string(iUser));
    }
};

TEST(PictureFeed, TheDispatcherSaysWhenAJoinHasBeenAnswered) {
    AnsweringHost host;
    host.users.Add("host", 0);
    host.nUsers = 2;
    std::string szBlock = "{2}ann\r\n{2}again\r\n";
    PacketProc(szBlock, 2, host);
    ASSERT_GE(host.calls.size(), 2U);
    EXPECT_EQ(host.calls.back(), "Answered:2"); // once, after the user list went out
    EXPECT_EQ(host.calls[host.calls.size() - 2].substr(0, 9), "Send2:{8}");
    // A client's dispatcher answers nothing.
    host.calls.clear();
    szBlock = "{2}bob\r\n";
    PacketProc(szBlock, -1, host);
    for (const std::string& szCall : host.calls) {
        EXPECT_EQ(szCall.find("Answered"), std::string::npos);
    }
}

} // namespace
} // namespace zaplo
