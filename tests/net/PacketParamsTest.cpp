#include "net/PacketParams.h"

#include "tests/net/FakePacketHost.h"

#include <gtest/gtest.h>

namespace zaplo::test {
namespace {

TEST(PacketParams, FieldCountsOnlyWhenItsSemicolonFollows) {
    EXPECT_EQ(GetPacketParam("10;20;30;", 1), "10");
    EXPECT_EQ(GetPacketParam("10;20;30;", 2), "20");
    EXPECT_EQ(GetPacketParam("10;20;30;", 3), "30");
    EXPECT_EQ(GetPacketParam("10;20;30;", 4), "");
    EXPECT_EQ(GetPacketParam("10;20;30", 3), "");
    EXPECT_EQ(GetPacketParam(";;", 2), "");
    EXPECT_EQ(GetPacketParam("a;;b;", 3), "b");
    EXPECT_EQ(GetPacketParam("10;", 0), "");
    EXPECT_EQ(GetPacketParam("10;", -1), "");
    EXPECT_EQ(GetPacketParam("", 1), "");
    EXPECT_EQ(GetPacketParam(" {x} ;", 1), " {x} ");
}

TEST(PacketParams, PayloadsBeyond16BitPositionsWork) {
    const std::string big(40000, 'x');
    const std::string list = "a;" + big + ";b;";
    EXPECT_EQ(GetPacketParam(list, 2), big);
    EXPECT_EQ(GetPacketParam(list, 3), "b");

    FakePacketHost host;
    EXPECT_EQ(GetUsersPacket(host), "");
    ExtractUsersPacket(list, host, -1);
    EXPECT_EQ(host.UserRows(), (std::vector<std::string>{"a", big, "b"}));
    EXPECT_EQ(GetUsersPacket(host), list);
    host.rows.push_back({"z\xc3\xb6"
                         "e",
                         3});
    EXPECT_EQ(GetUsersPacket(host), list + "z\xc3\xb6"
                                           "e;");
}

TEST(PacketParams, ExtractAddsSemicolonEndedEntriesWithTheGivenSlot) {
    FakePacketHost host;
    host.rows = {{"kept", 0}};
    ExtractUsersPacket("a;b;c", host, 7);
    ExtractUsersPacket("d;;e;", host, -1);
    ExtractUsersPacket("", host, -1);
    EXPECT_EQ(host.rows, (std::vector<FakePacketHost::Row>{
                             {"kept", 0}, {"a", 7}, {"b", 7}, {"d", -1}, {"", -1}, {"e", -1}}));
}

} // namespace
} // namespace zaplo::test
