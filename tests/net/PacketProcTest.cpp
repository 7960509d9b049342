#include "net/PacketProc.h"

#include "tests/net/FakePacketHost.h"

#include <gtest/gtest.h>

namespace zaplo::test {
namespace {

using Calls = std::vector<std::string>;

// Runs one block and returns what was left after its last CR LF.
std::string Feed(FakePacketHost& host, std::string szBlock, int16_t nOrigin) {
    PacketProc(szBlock, nOrigin, host);
    return szBlock;
}

// A server whose own user is "host" (slot 0), with clients connected on the given slots.
FakePacketHost Server(std::initializer_list<int16_t> slots) {
    FakePacketHost host;
    host.rows.push_back({"host", 0});
    for (const int16_t s : slots) {
        host.Connect(s);
    }
    return host;
}

TEST(PacketProcFraming, LinesInOrderAndTailKept) {
    FakePacketHost host;
    EXPECT_EQ(Feed(host, "{1}{ann}hi\r\n{11}\r\n{10}5;", -1), "{10}5;");
    EXPECT_EQ(host.calls, (Calls{"Chat:{ann}hi", "Erase"}));

    FakePacketHost idle;
    EXPECT_EQ(Feed(idle, "{1}{ann}hi", -1), "{1}{ann}hi");
    EXPECT_EQ(Feed(idle, "\r\n", -1), "");
    EXPECT_EQ(Feed(idle, "", -1), "");
    EXPECT_TRUE(idle.calls.empty());
}

TEST(PacketProcFraming, CodeEndsAtFirstBraceAndPayloadIsKeptByteForByte) {
    FakePacketHost host;
    // Lone CR and LF are payload; only the pair ends a line. UTF-8 passes untouched.
    Feed(host, "{1}{a}b}c\r\n{9}a\rb\nc}\r\n{9}\xc5\xbc\xc3\xb3\xc5\x82w\r\n{1}\r\n", -1);
    EXPECT_EQ(host.calls, (Calls{"Chat:{a}b}c", "Status:a\rb\nc}",
                                 "Status:\xc5\xbc\xc3\xb3\xc5\x82w", "Chat:"}));
}

TEST(PacketProcFraming, UnknownEmptyAndBracelessLinesAreSkipped) {
    FakePacketHost host = Server({1, 2});
    const std::string junk[] = {"9}x",   "{12}x", "{0}",  "",      "no brace", "{1",
                                "{ 1}x", "{01}x", "{1 }", "{10 }", "}{1}x",    "{9}}{1}x"};
    std::string szBlock;
    for (const std::string& line : junk) {
        szBlock += line + "\r\n{9}ok\r\n";
    }
    Feed(host, szBlock, 1);
    // "{9}}{1}x" is a status line with payload "}{1}x".
    Calls expected(std::size(junk), "Status:ok");
    expected.insert(expected.end() - 1, "Status:}{1}x");
    EXPECT_EQ(host.calls, expected);
}

TEST(PacketProcRelay, DrawAndClearGoAtOnceToEveryOtherConnectedSlot) {
    FakePacketHost host = Server({1, 2, 4});
    host.nUsers = 5; // slot 3 was closed, slot 5 is not connected
    Feed(host, "{10}1;2;3;4;5;\r\n{11}\r\n", 2);
    // Every slot but the origin is tried; the link skips the unconnected ones.
    EXPECT_EQ(host.calls, (Calls{"Draw:1,2,3,4,5", "Send1:{10}1;2;3;4;5;", "Send3:{10}1;2;3;4;5;",
                                 "Send4:{10}1;2;3;4;5;", "Send5:{10}1;2;3;4;5;", "Erase",
                                 "Send1:{11}", "Send3:{11}", "Send4:{11}", "Send5:{11}"}));
    EXPECT_EQ(host.SentTo(1), (Calls{"{10}1;2;3;4;5;", "{11}"}));
    EXPECT_EQ(host.SentTo(4), host.SentTo(1));
    EXPECT_EQ(host.sent.size(), 4u);
}

TEST(PacketProcRelay, ChatIsShownAndEchoedThroughTheQueueOnly) {
    FakePacketHost host = Server({1, 2, 3});
    Feed(host, "{1}{bob}h\xc3\xa9!\r\n", 2);
    EXPECT_EQ(host.calls, (Calls{"Chat:{bob}h\xc3\xa9!", "Queue:{1}{bob}h\xc3\xa9!"}));
}

TEST(PacketProcRelay, UpperBoundIsTakenWhenTheRelayStarts) {
    FakePacketHost host = Server({1, 2});
    host.onSend = [&](const std::string&, int16_t) { host.Connect(3); };
    Feed(host, "{11}\r\n", 2);
    EXPECT_EQ(host.SentTo(1), Calls{"{11}"});
    EXPECT_TRUE(host.SentTo(3).empty());
}

TEST(PacketProcRelay, ClientOriginNeverSendsQueuesOrCloses) {
    FakePacketHost host;
    host.Connect(1);
    Feed(host, "{1}{a}x\r\n{2}bob\r\n{3}\r\n{8}host;bob;\r\n{9}s\r\n{10}1;1;2;2;0;\r\n{11}\r\n",
         -1);
    EXPECT_EQ(host.calls,
              (Calls{"Chat:{a}x", "Add:bob@-1", "Status:bob has joined!", "Refresh", "Add:host@-1",
                     "Add:bob@-1", "Status:s", "Draw:1,1,2,2,0", "Erase"}));
    EXPECT_EQ(host.UserRows(), (Calls{"host", "bob"}));
    Feed(host, "{8}\r\n", -1);
    EXPECT_TRUE(host.rows.empty());
}

TEST(PacketProcUsers, JoinAddsRowForOriginAnnouncesRelaysAndAnswers) {
    FakePacketHost host = Server({1, 2});
    host.rows.push_back({"ann", 1});
    Feed(host, "{2}bob\r\n", 2);
    EXPECT_EQ(host.calls, (Calls{"Add:bob@2", "Status:bob has joined!", "Send1:{2}bob",
                                 "Send2:{9}bob has joined!", "Send2:{8}host;ann;bob;"}));
    EXPECT_TRUE(host.queue.empty());
}

TEST(PacketProcUsers, LeaveFindsTheRowBySlotNotByPosition) {
    FakePacketHost host = Server({1, 2});
    host.rows = {{"host", 0}, {"ann", 1}, {"bob", 2}};
    Feed(host, "{3}\r\n", 1);
    EXPECT_EQ(host.calls,
              (Calls{"Close:1", "Status:ann has been disconnected!",
                     "Queue:{9}ann has been disconnected!", "Remove:1", "Queue:{8}host;bob;"}));
    EXPECT_EQ(host.connected, std::set<int16_t>{2});

    // bob now stands at list position 1 but owns slot 2.
    host.calls.clear();
    Feed(host, "{3}\r\n", 2);
    EXPECT_EQ(host.calls,
              (Calls{"Close:2", "Status:bob has been disconnected!",
                     "Queue:{9}bob has been disconnected!", "Remove:2", "Queue:{8}host;"}));
    EXPECT_EQ(host.rows, (std::vector<FakePacketHost::Row>{{"host", 0}}));
}

TEST(PacketProcMends, LeaveReachingAClientIsIgnored) {
    FakePacketHost host;
    host.rows = {{"host", -1}, {"me", -1}};
    Feed(host, "{3}\r\n{9}after\r\n", -1);
    EXPECT_EQ(host.calls, Calls{"Status:after"});
    EXPECT_EQ(host.rows.size(), 2u);
}

TEST(PacketProcMends, SlotThatNeverJoinedClosesSilently) {
    FakePacketHost host = Server({1, 3});
    host.rows.push_back({"ann", 1});
    Feed(host, "{3}\r\n", 3);
    EXPECT_EQ(host.calls, Calls{"Close:3"});
    EXPECT_TRUE(host.queue.empty());
}

TEST(PacketProcMends, NothingAfterALeaveIsCreditedToTheClosedSlot) {
    FakePacketHost host = Server({1, 2});
    host.rows.push_back({"ann", 1});
    EXPECT_EQ(Feed(host, "{3}\r\n{2}mallory\r\n{1}{x}y\r\n{11}\r\ntail", 1), "tail");
    EXPECT_EQ(host.calls.back(), "Queue:{8}host;");
    EXPECT_EQ(host.UserRows(), Calls{"host"});
    EXPECT_TRUE(host.sent.empty());
}

TEST(PacketProcMends, UserListFromAClientIsIgnoredByTheServer) {
    FakePacketHost host = Server({1});
    host.rows.push_back({"ann", 1});
    const auto before = host.rows;
    Feed(host, "{8}evil;list;\r\n{9}still here\r\n", 1);
    EXPECT_EQ(host.rows, before);
    EXPECT_EQ(host.calls, Calls{"Status:still here"});
}

TEST(PacketProcMends, EveryRowOfALeavingSlotGoes) {
    // A client that joined twice must not leave a row behind for the slot's next client.
    FakePacketHost host = Server({1, 2});
    Feed(host, "{2}ann\r\n{2}ann2\r\n", 1);
    Feed(host, "{2}bob\r\n", 2);
    host.queue.clear();
    Feed(host, "{3}\r\n", 1);
    EXPECT_EQ(host.UserRows(), (Calls{"host", "bob"}));
    EXPECT_EQ(host.queue, (Calls{"{9}ann has been disconnected!", "{9}ann2 has been disconnected!",
                                 "{8}host;bob;"}));
}

TEST(PacketProcMends, DrawRecordOutOfRangeIsNeitherDrawnNorRelayed) {
    FakePacketHost host = Server({1, 2});
    Feed(host, "{10}32768;0;0;0;0;\r\n{10}0;0;0;0;16777216;\r\n{10}0;0;0;0;-1;\r\n{10};;;;;\r\n",
         1);
    EXPECT_EQ(host.calls, (Calls{"Draw:0,0,0,0,0", "Send2:{10};;;;;"}));
}

TEST(PacketProcReentry, NestedCallOnTheSameBufferLeavesTheOuterLinesIntact) {
    // The socket side hands a buffer to PacketProc and, while a relay lets events run, reuses
    // that very buffer for a later delivery.
    FakePacketHost host = Server({1, 2, 3});
    std::string szBuffer = "{11}\r\n{9}outer\r\n{1}{a}b\r\nrest";
    bool bNested = false;
    host.onSend = [&](const std::string&, int16_t iUser) {
        if (bNested || iUser != 2) {
            return;
        }
        bNested = true;
        szBuffer = "{10}1;2;3;4;5;\r\n{9}inner\r\nnested-tail";
        PacketProc(szBuffer, 3, host);
    };
    PacketProc(szBuffer, 1, host);
    EXPECT_EQ(szBuffer, "rest");
    EXPECT_EQ(host.calls, (Calls{"Erase", "Send2:{11}",
                                 // nested, from slot 3, between the outer relay's two sends
                                 "Draw:1,2,3,4,5", "Send1:{10}1;2;3;4;5;", "Send2:{10}1;2;3;4;5;",
                                 "Status:inner",
                                 // the outer call resumes where it was
                                 "Send3:{11}", "Status:outer", "Chat:{a}b", "Queue:{1}{a}b"}));
}

} // namespace
} // namespace zaplo::test
