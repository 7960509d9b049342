// SPDX-License-Identifier: MIT
#include "net/core/DrawPacket.h"
#include "net/core/LenientNumber.h"
#include "net/core/PacketParams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zaplo {
namespace {

TEST(PacketParams, FieldCountsOnlyWhenItsSemicolonFollows) {
    const std::vector<std::string> want = {"", "", " a", "", "{b} ", "", ""}; // fields -1 to 5
    for (int n = -1; n <= 5; ++n) {
        EXPECT_EQ(GetPacketParam(" a;;{b} ;tail", n), want[static_cast<std::size_t>(n + 1)]) << n;
    }
    EXPECT_EQ(GetPacketParam("", 1), "");
    EXPECT_EQ(GetPacketParam("a;" + std::string(70000, 'x') + ";b;", 3), "b"); // past 16 bits
}

// The record read from `s` as written back, or "dropped".
std::string Read(std::string_view s) {
    const std::optional<DrawRecord> r = ReadDrawPacket(s);
    return r ? GetDrawPacket(r->sx, r->sy, r->dx, r->dy, r->clr) : "dropped";
}

TEST(DrawPacket, EveryCoordinateAndColourRoundTrips) {
    EXPECT_EQ(GetDrawPacket(-3, 0, 7, 8, 16777215), "-3;0;7;8;16777215;");
    std::vector<int> bad; // every value that does not come back, not only the first
    for (int v = -32768; v <= 32767; ++v) {
        const auto a = static_cast<int16_t>(v);
        const auto b = static_cast<int16_t>(-1 - v);
        const int32_t clr = (v + 32768) * 256 + (v & 255); // 0 to 16777215
        const std::optional<DrawRecord> r = ReadDrawPacket(GetDrawPacket(a, b, b, a, clr));
        if (!(r && r->sx == a && r->sy == b && r->dx == b && r->dy == a && r->clr == clr)) {
            bad.push_back(v);
        }
    }
    EXPECT_EQ(bad, std::vector<int>{});
}

TEST(DrawPacket, ReaderIsLenientAndDropsOutOfRangeRecords) {
    EXPECT_EQ(Read(" 1 0;2x;-3.5;2.5;+12a;"), "10;2;-4;2;12;");
    EXPECT_EQ(Read("1;2;3;4;5;6;junk"), "1;2;3;4;5;");
    EXPECT_EQ(Read("1;2;3;4;5"), "1;2;3;4;0;");    // the colour lacks its ";"
    EXPECT_EQ(Read("1e3;0;0;0;0;"), "1;0;0;0;0;"); // no exponent in records
    EXPECT_EQ(Read("32767.4;-32768.5;0;0;16777215.4;"), "32767;-32768;0;0;16777215;");
    const std::string huge(5000, '9');
    for (const std::string& bad :
         std::vector<std::string>{"32767.5;0;0;0;0;", "0;-32769;0;0;0;", "0;0;99999;0;0;",
                                  "0;0;0;-40000;0;", "0;0;0;0;16777216;", "0;0;0;0;-0.5000001;",
                                  huge + ";0;0;0;0;", "0;0;0;0;" + huge + ";"}) {
        EXPECT_EQ(Read(bad), "dropped") << bad.substr(0, 30);
    }
}

TEST(LenientNumber, ReadsTheLeadingNumberWithTheExponentOnlyWhenAsked) {
    const struct {
        const char* text;
        double plain, withExponent;
    } cases[] = {{"  1 2", 12, 12}, {"-3.5", -3.5, -3.5}, {"12a", 12, 12},    {"", 0, 0},
                 {"abc", 0, 0},     {"- 4", -4, -4},      {"+7", 7, 7},       {".5", .5, .5},
                 {"5.", 5, 5},      {"1.2.3", 1.2, 1.2},  {"--1", 0, 0},      {"0x1F", 0, 0},
                 {"1e3", 1, 1000},  {" 1 E 2 ", 1, 100},  {"25e-1", 25, 2.5}, {"3e+", 3, 3},
                 {"e5", 0, 0},      {"-1.5e1", -1.5, -15}};
    for (const auto& c : cases) {
        EXPECT_EQ(ReadLenientNumber(c.text), c.plain) << '"' << c.text << '"';
        EXPECT_EQ(ReadLenientNumber(c.text, true), c.withExponent) << '"' << c.text << '"';
    }
    const std::string many(1'000'000, '7');
    EXPECT_EQ(ReadLenientNumber("-" + many), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadLenientNumber("0." + std::string(1'000'000, '0') + "1"), 0.0);
    EXPECT_DOUBLE_EQ(ReadLenientNumber(many + "e-999999", true), 7.777777777777778);
    EXPECT_EQ(ReadLenientNumber("1e99999999999999999999999", true),
              std::numeric_limits<double>::infinity());
}

TEST(LenientNumber, RoundsHalfToEven) {
    const double cases[][2] = {{2.5, 2},  {3.5, 4},       {-2.5, -2},     {0.5, 0},
                               {-0.4, 0}, {2.4999999, 2}, {2.5000001, 3}, {0x1p52 + 1, 0x1p52 + 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(RoundHalfEven(c[0]), c[1]) << c[0];
    }
}

} // namespace
} // namespace zaplo
