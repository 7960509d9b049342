// SPDX-License-Identifier: MIT
#include "net/core/PeerRules.h"
#include "net/core/PacketParams.h"
#include "net/core/PacketProc.h"
#include "tests/support/FakeHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zaplo {
namespace {

using Lines = std::vector<std::string>;

// One client line from slot 2, before and after its join, on a server whose own user is "host"
// and whose slot 1 holds "ann": what the server does with it.
struct Case {
    const char* szLine;
    bool bJoined;
    Lines expected;
};

const std::vector<Case> kCases = {
    // Before the join only the join counts.
    {"{1}{bob}hi", false, {}},
    {"{2}bob",
     false,
     {"Add:bob@2", "Status:bob has joined!", "Send1:{2}bob", "Send2:{9}bob has joined!",
      "Send2:{8}host;ann;bob;"}},
    {"{3}", false, {}},
    {"{8}x;y;", false, {}},
    {"{9}ann has been disconnected!", false, {}},
    {"{10}1;2;3;4;5;", false, {}},
    {"{11}", false, {}},
    {"{12}abc", false, {"Answer2:abc"}},
    // After it: chat under the joined name, drawing and clearing relayed, nothing else.
    {"{1}{bob}hi", true, {"Chat:{bob}hi", "Queue:{1}{bob}hi"}},
    {"{1}{host}everyone leave", true, {"Chat:{bob}everyone leave", "Queue:{1}{bob}everyone leave"}},
    {"{2}bob", true, {}},
    {"{2}carl", true, {}},
    {"{3}", true, {}},
    {"{8}x;y;", true, {}},
    {"{9}ann has been disconnected!", true, {}},
    {"{10}1;2;3;4;5;", true, {"Draw:1;2;3;4;5;", "Send1:{10}1;2;3;4;5;"}},
    {"{11}", true, {"Erase", "Send1:{11}"}},
    {"{12}abc", true, {}},
};

TEST(PeerRules, WhatTheServerDoesWithEachCodeBeforeAndAfterTheJoin) {
    for (const Case& c : kCases) {
        FakeHost host;
        host.users.Add("host", 0);
        host.users.Add("ann", 1);
        host.nUsers = 2;
        if (c.bJoined) {
            host.users.Add("bob", 2);
        }
        std::string szBlock = std::string(c.szLine) + "\r\n";
        PacketProc(szBlock, 2, host);
        EXPECT_EQ(host.calls, c.expected) << c.szLine << (c.bJoined ? " after" : " before");
        const std::size_t nRows = host.users.Size();
        const bool bJoins = std::string_view(c.szLine).starts_with("{2}");
        EXPECT_EQ(nRows, c.bJoined || bJoins ? 3U : 2U) << c.szLine;
    }
}

TEST(PeerRules, ChatLinesCarryTheJoinedNameAndHonestOnesStayByteForByte) {
    EXPECT_EQ(PeerRules::ChatUnder("{ann}hello", "ann"), "{ann}hello");
    EXPECT_EQ(PeerRules::ChatUnder("{ann}", "ann"), "{ann}");
    EXPECT_EQ(PeerRules::ChatUnder("{}x", ""), "{}x");
    // A name holding a brace: the program's own line is still recognised whole.
    EXPECT_EQ(PeerRules::ChatUnder("{a}b}hi", "a}b"), "{a}b}hi");
    EXPECT_EQ(PeerRules::ChatUnder("{a}hi", "a}b"), "{a}b}hi");
    // Forged, missing or broken claims.
    EXPECT_EQ(PeerRules::ChatUnder("{host}leave now", "mallory"), "{mallory}leave now");
    EXPECT_EQ(PeerRules::ChatUnder("{ann2}x", "ann"), "{ann}x");
    EXPECT_EQ(PeerRules::ChatUnder("{an}x", "ann"), "{ann}x");
    EXPECT_EQ(PeerRules::ChatUnder("no name", "ann"), "{ann}no name");
    EXPECT_EQ(PeerRules::ChatUnder("{unclosed", "ann"), "{ann}{unclosed");
    EXPECT_EQ(PeerRules::ChatUnder("", "ann"), "{ann}");
    EXPECT_EQ(PeerRules::ChatUnder("x{ann}y", "ann"), "{ann}x{ann}y");
}

TEST(PeerRules, JoinNamesKeepTheListOneRowPerUser) {
    EXPECT_EQ(PeerRules::JoinName("alice;carol;"), "alice,carol,");
    EXPECT_EQ(PeerRules::JoinName(";"), ",");
    EXPECT_EQ(PeerRules::JoinName(""), "");
    EXPECT_EQ(PeerRules::JoinName("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(PeerRules::JoinName(std::string(16, 'x')), std::string(16, 'x'));
    EXPECT_FALSE(PeerRules::JoinName(std::string(17, 'x')));

    // The mended name is the one every list, status line and chat line shows.
    FakeHost host;
    host.users.Add("host", 0);
    host.nUsers = 2;
    std::string szBlock = "{2}alice;carol;\r\n{1}{alice;carol;}hi\r\n";
    PacketProc(szBlock, 2, host);
    EXPECT_EQ(host.calls, (Lines{"Add:alice,carol,@2", "Status:alice,carol, has joined!",
                                 "Send1:{2}alice,carol,", "Send2:{9}alice,carol, has joined!",
                                 "Send2:{8}host;alice,carol,;", "Chat:{alice,carol,}hi",
                                 "Queue:{1}{alice,carol,}hi"}));
    // An empty name and a repeated one are taken as they are.
    host.calls.clear();
    szBlock = "{2}\r\n";
    PacketProc(szBlock, 1, host);
    szBlock = "{2}alice,carol,\r\n";
    PacketProc(szBlock, 3, host);
    EXPECT_EQ(GetUsersPacket(host), "host;alice,carol,;;alice,carol,;");
}

} // namespace
} // namespace zaplo
