// SPDX-License-Identifier: MIT
#include "net/core/PacketProc.h"
#include "net/core/PacketParams.h"
#include "tests/support/FakeHost.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace zaplo {
namespace {

using Lines = std::vector<std::string>;
using Rows = FakeHost::Rows;

// A server whose own user "host" has slot 0, with client slots 1..nUsers; the clients in slots
// `joined` are joined, as "u" followed by the slot.
FakeHost Server(int16_t nUsers, std::initializer_list<int16_t> joined = {}) {
    FakeHost host;
    host.users.Add("host", 0);
    host.nUsers = nUsers;
    for (const int16_t iSlot : joined) {
        host.users.Add("u" + std::to_string(iSlot), iSlot);
    }
    return host;
}

// Runs one block and returns what was left after its last CR LF.
std::string Feed(FakeHost& host, std::string szBlock, int16_t nOrigin) {
    PacketProc(szBlock, nOrigin, host);
    return szBlock;
}

TEST(PacketProc, LinesRunInOrderTheTailStaysAndUnknownCodesAreSkipped) {
    FakeHost host = Server(2);
    // The code ends at the first "}"; lone CR and LF are payload.
    EXPECT_EQ(
        Feed(host, "{1}{ann}hi\r\n{11}\r\n{1}{a}b}c\r\n{9}a\rb\nc}\r\n{9}}{1}x\r\n{10}5;", -1),
        "{10}5;");
    EXPECT_EQ(host.calls,
              (Lines{"Chat:{ann}hi", "Erase", "Chat:{a}b}c", "Status:a\rb\nc}", "Status:}{1}x"}));
    host.calls.clear();
    std::string szBlock;
    for (const char* junk : {"9}x", "{12}x", "{0}", "{}", "", "no brace", "{1", "{ 1}x", "{01}x"}) {
        szBlock += junk + std::string("\r\n{9}ok\r\n");
    }
    Feed(host, szBlock, -1);
    Lines expected(9, "Status:ok");
    expected.insert(expected.begin() + 1, "Challenge:x"); // "{12}" is a code now
    EXPECT_EQ(host.calls, expected);
    // Status lines are the server's: from a client they are dropped, not shown or passed on.
    // Of the rest, a connection that has not joined may only answer a password's challenge.
    host.calls.clear();
    Feed(host, szBlock, 1);
    EXPECT_EQ(host.calls, Lines{"Answer1:x"});
}

TEST(PacketProc, ServerRelaysToTheOtherSlotsAndDropsListsAndBadRecords) {
    FakeHost host = Server(4, {2}); // slot 3 may be closed: the link drops what is sent to it
    host.onSend = [&](int16_t) { host.nUsers = 9; }; // a slot accepted during a send
    Feed(host, "{10}1;2;3;4;5;\r\n", 2);
    EXPECT_EQ(host.calls, (Lines{"Draw:1;2;3;4;5;", "Send1:{10}1;2;3;4;5;", "Send3:{10}1;2;3;4;5;",
                                 "Send4:{10}1;2;3;4;5;"}));
    host = Server(3, {2});
    // Chat goes back out through the queue only; user lists come only from the server.
    Feed(host, "{11}\r\n{1}{u2}hi\r\n{8}evil;\r\n{10}32768;0;0;0;0;\r\n{10}0;0;0;0;-1;\r\n", 2);
    EXPECT_EQ(host.calls,
              (Lines{"Erase", "Send1:{11}", "Send3:{11}", "Chat:{u2}hi", "Queue:{1}{u2}hi"}));
    EXPECT_EQ(host.RowPairs(), (Rows{{"host", 0}, {"u2", 2}}));
}

TEST(PacketProc, ClientOriginNeverSendsQueuesOrClosesAndIgnoresLeave) {
    FakeHost host;
    host.SetRows({{"host", -1}, {"me", -1}});
    Feed(host, "{1}{a}x\r\n{2}bob\r\n{3}\r\n{8}host;bob;\r\n{10}1;1;2;2;0;\r\n{11}\r\n", -1);
    EXPECT_EQ(host.calls, (Lines{"Chat:{a}x", "Add:bob@-1", "Status:bob has joined!", "Refresh",
                                 "Add:host@-1", "Add:bob@-1", "Draw:1;1;2;2;0;", "Erase"}));
    Feed(host, "{8}\r\n", -1);
    EXPECT_TRUE(host.users.Rows().empty());
}

TEST(PacketProc, JoinAndLeaveSequences) {
    FakeHost host = Server(3);
    host.SetRows({{"host", 0}, {"ann", 1}, {"ann2", 1}}); // ann joined twice
    // A slot that never joined closes silently.
    PacketLeave(3, host);
    EXPECT_EQ(host.calls, Lines{"Close:3"});
    // A leave from the wire is nobody's departure.
    host.calls.clear();
    EXPECT_EQ(Feed(host, "{3}\r\n{3}\r\ntail", 1), "tail");
    EXPECT_EQ(host.calls, Lines{});
    Feed(host, "{2}bob\r\n", 2);
    EXPECT_EQ(host.calls,
              (Lines{"Add:bob@2", "Status:bob has joined!", "Send1:{2}bob", "Send3:{2}bob",
                     "Send2:{9}bob has joined!", "Send2:{8}host;ann;ann2;bob;"}));
    host.calls.clear();
    PacketLeave(1, host); // every row of the slot goes
    PacketLeave(2, host); // bob now stands at list position 1 but owns slot 2
    EXPECT_EQ(
        host.calls,
        (Lines{"Close:1", "Status:ann has been disconnected!",
               "Queue:{9}ann has been disconnected!", "Remove:1",
               "Status:ann2 has been disconnected!", "Queue:{9}ann2 has been disconnected!",
               "Remove:1", "Queue:{8}host;bob;", "Close:2", "Status:bob has been disconnected!",
               "Queue:{9}bob has been disconnected!", "Remove:2", "Queue:{8}host;"}));
    EXPECT_EQ(host.RowPairs(), (Rows{{"host", 0}}));
}

TEST(PacketProc, NestedCallOnTheSameBufferKeepsTheOuterLines) {
    // While a relay lets events run, the socket side reuses the buffer for a later delivery.
    FakeHost host = Server(3, {1, 3});
    std::string szBuffer = "{11}\r\n{1}outer\r\nrest";
    bool bNested = false;
    host.onSend = [&](int16_t iUser) {
        if (iUser == 2 && !std::exchange(bNested, true)) {
            szBuffer = "{1}inner\r\nnested-tail";
            PacketProc(szBuffer, 3, host);
        }
    };
    PacketProc(szBuffer, 1, host);
    EXPECT_EQ(szBuffer, "rest");
    EXPECT_EQ(host.calls, (Lines{"Erase", "Send2:{11}", "Chat:{u3}inner", "Queue:{1}{u3}inner",
                                 "Send3:{11}", "Chat:{u1}outer", "Queue:{1}{u1}outer"}));
}

TEST(PacketProc, RelayedRunsGoOutAsOneSendPerReceiverInReadOrder) {
    FakeHost host = Server(3, {2});
    // Draws and clears gather (bad records are left out); any other line that is acted on sends
    // them first. Lines that are skipped (a client's status line, an unknown code) do nothing,
    // so the run goes on across them.
    Feed(host,
         "{10}1;1;2;2;0;\r\n{10}32768;0;0;0;0;\r\n{11}\r\n{10}3;3;4;4;0;\r\n{1}{u2}hi\r\n"
         "{10}5;5;6;6;0;\r\n{9}x\r\n{12}x\r\n{10}7;7;8;8;0;\r\ntail",
         2);
    const std::string run = "{10}1;1;2;2;0;\r\n{11}\r\n{10}3;3;4;4;0;";
    EXPECT_EQ(host.calls,
              (Lines{"Draw:1;1;2;2;0;", "Erase", "Draw:3;3;4;4;0;", "Send1:" + run, "Send3:" + run,
                     "Chat:{u2}hi", "Queue:{1}{u2}hi", "Draw:5;5;6;6;0;", "Draw:7;7;8;8;0;",
                     "Send1:{10}5;5;6;6;0;\r\n{10}7;7;8;8;0;",
                     "Send3:{10}5;5;6;6;0;\r\n{10}7;7;8;8;0;"}));
}

TEST(PacketProc, DispatchLinesStopsOnceClosedButSendsWhatItGathered) {
    // The delivering slot is dropped while its first run is sent: the lines already drawn still
    // reach every receiver, nothing after them is dispatched.
    FakeHost host = Server(3, {2});
    bool bOpen = true;
    host.onSend = [&](int16_t iUser) { bOpen = bOpen && iUser != 1; };
    DispatchLines("{10}1;1;2;2;0;\r\n{11}\r\n{1}{u2}x\r\n{10}3;3;4;4;0;\r\n{1}{u2}y\r\n", 2, host,
                  [&] { return bOpen; });
    EXPECT_EQ(host.calls, (Lines{"Draw:1;1;2;2;0;", "Erase", "Send1:{10}1;1;2;2;0;\r\n{11}",
                                 "Send3:{10}1;1;2;2;0;\r\n{11}"}));
    // Open throughout: the last run is sent at the end, text after the last CR LF is not a line.
    host = Server(2, {1});
    DispatchLines("{10}1;1;2;2;0;\r\n{10}3;3;4;4;0;\r\n{10}5;5;", 1, host, [] { return true; });
    EXPECT_EQ(host.calls, (Lines{"Draw:1;1;2;2;0;", "Draw:3;3;4;4;0;",
                                 "Send2:{10}1;1;2;2;0;\r\n{10}3;3;4;4;0;"}));
}

TEST(PacketParams, UsersCodecKeepsSemicolonEndedEntriesWithTheGivenSlot) {
    FakeHost host;
    const std::string big(40000, 'x');
    EXPECT_EQ(GetUsersPacket(host), "");
    ExtractUsersPacket("a;" + big + ";;z\xc3\xb6;c", host, 7);
    EXPECT_EQ(host.RowPairs(), (Rows{{"a", 7}, {big, 7}, {"", 7}, {"z\xc3\xb6", 7}}));
    EXPECT_EQ(GetUsersPacket(host), "a;" + big + ";;z\xc3\xb6;");
}

} // namespace
} // namespace zaplo
