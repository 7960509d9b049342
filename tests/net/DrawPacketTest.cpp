#include "net/DrawPacket.h"
#include "net/LenientNumber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zaplo::test {
namespace {

bool operator==(const DrawRecord& a, const DrawRecord& b) {
    return a.sx == b.sx && a.sy == b.sy && a.dx == b.dx && a.dy == b.dy && a.clr == b.clr;
}

TEST(DrawPacket, WriterUsesShortestDecimalWithTrailingSemicolons) {
    EXPECT_EQ(GetDrawPacket(-3, 0, 7, 8, 16777215), "-3;0;7;8;16777215;");
    EXPECT_EQ(GetDrawPacket(10, 20, 15, 22, 255), "10;20;15;22;255;");
}

TEST(DrawPacket, EveryCoordinateAndColourRoundTrips) {
    for (int v = std::numeric_limits<int16_t>::min(); v <= std::numeric_limits<int16_t>::max();
         ++v) {
        const auto a = static_cast<int16_t>(v);
        const auto b = static_cast<int16_t>(-1 - v);
        const int32_t clr = (v + 32768) * 257 % 16777216;
        const DrawRecord want{a, b, b, a, clr};
        const std::optional<DrawRecord> got = ReadDrawPacket(GetDrawPacket(a, b, b, a, clr));
        ASSERT_TRUE(got.has_value()) << v;
        ASSERT_TRUE(*got == want) << v;
    }
    for (const int32_t clr : {0, 255, 65280, 16711680, 16777215}) {
        const std::optional<DrawRecord> got = ReadDrawPacket(GetDrawPacket(0, 0, 0, 0, clr));
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->clr, clr);
    }
}

TEST(DrawPacket, ReaderIsLenientAndFillsMissingFieldsWithZero) {
    const auto read = [](std::string_view s) { return ReadDrawPacket(s).value_or(DrawRecord{9}); };
    EXPECT_TRUE(read(" 1 0;2x;-3.5;2.5;+12a;") == (DrawRecord{10, 2, -4, 2, 12}));
    EXPECT_TRUE(read("1;2;3;4;") == (DrawRecord{1, 2, 3, 4, 0}));
    EXPECT_TRUE(read("1;2;3;4;5;6;junk") == (DrawRecord{1, 2, 3, 4, 5}));
    EXPECT_TRUE(read("") == (DrawRecord{}));
    EXPECT_TRUE(read("1;2;3;4;5") == (DrawRecord{1, 2, 3, 4, 0})) << "colour without its ;";
    EXPECT_TRUE(read("1e3;0;0;0;0;") == (DrawRecord{1})) << "no exponent in records";
}

TEST(DrawPacket, ValuesOutsideTheirRangeDropTheRecord) {
    EXPECT_TRUE(ReadDrawPacket("32767.4;-32768.5;0;0;16777215.4;").has_value());
    for (const char* bad :
         {"32767.5;0;0;0;0;", "0;-32769;0;0;0;", "0;0;99999;0;0;", "0;0;0;-40000;0;",
          "0;0;0;0;16777216;", "0;0;0;0;-1;", "0;0;0;0;-0.5000001;", "0;0;0;0;4294967295;"}) {
        EXPECT_FALSE(ReadDrawPacket(bad).has_value()) << bad;
    }
    const std::string huge(5000, '9');
    EXPECT_FALSE(ReadDrawPacket(huge + ";0;0;0;0;").has_value());
    EXPECT_FALSE(ReadDrawPacket("0;0;0;0;" + huge + ";").has_value());
}

TEST(LenientNumber, ReadsTheLeadingNumberIgnoringBlanks) {
    struct Case {
        const char* text;
        double want;
    };
    for (const Case& c :
         {Case{"  1 2", 12.0}, Case{"-3.5", -3.5}, Case{"12a", 12.0}, Case{"", 0.0},
          Case{"abc", 0.0}, Case{"-", 0.0}, Case{".", 0.0}, Case{"- 4", -4.0}, Case{"+7", 7.0},
          Case{"\t0 0 7", 7.0}, Case{".5", 0.5}, Case{"5.", 5.0}, Case{"1.2.3", 1.2},
          Case{"--1", 0.0}, Case{"1-2", 1.0}, Case{"007.250", 7.25}, Case{"0.000123", 0.000123},
          Case{"1e3", 1.0}, Case{"0x1F", 0.0}}) {
        EXPECT_EQ(ReadLenientNumber(c.text), c.want) << '"' << c.text << '"';
    }
}

TEST(LenientNumber, ExponentOnlyWhenAsked) {
    struct Case {
        const char* text;
        double want;
    };
    for (const Case& c : {Case{"1e3", 1000.0}, Case{"2E+2", 200.0}, Case{"25e-1", 2.5},
                          Case{" 1 E 2 ", 100.0}, Case{"3E", 3.0}, Case{"3e+", 3.0},
                          Case{"4ex", 4.0}, Case{"e5", 0.0}, Case{"-1.5e1", -15.0}}) {
        EXPECT_EQ(ReadLenientNumber(c.text, true), c.want) << '"' << c.text << '"';
    }
}

TEST(LenientNumber, HugeDigitStringsAreSafe) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::string many(1'000'000, '7');
    EXPECT_EQ(ReadLenientNumber(many), inf);
    EXPECT_EQ(ReadLenientNumber("-" + many), -inf);
    EXPECT_EQ(ReadLenientNumber("0." + std::string(1'000'000, '0') + "1"), 0.0);
    EXPECT_DOUBLE_EQ(ReadLenientNumber("0." + many), 0.7777777777777778);
    EXPECT_DOUBLE_EQ(ReadLenientNumber(std::string(300, '0') + "42.5"), 42.5);
    EXPECT_EQ(ReadLenientNumber("1e99999999999999999999999", true), inf);
    EXPECT_EQ(ReadLenientNumber("1e-99999999999999999999999", true), 0.0);
    EXPECT_EQ(ReadLenientNumber("1e308", true), 1e308);
    EXPECT_EQ(ReadLenientNumber("1e309", true), inf);
    EXPECT_DOUBLE_EQ(ReadLenientNumber(many + "e-999999", true), 7.777777777777778);
    EXPECT_EQ(ReadLenientNumber(many + "e-2000000", true), 0.0);
    EXPECT_DOUBLE_EQ(ReadLenientNumber("1" + std::string(400, '0') + "e-400", true), 1.0);
}

TEST(LenientNumber, RoundsHalfToEven) {
    struct Case {
        double v, want;
    };
    for (const Case& c :
         {Case{2.5, 2}, Case{3.5, 4}, Case{-2.5, -2}, Case{-3.5, -4}, Case{0.5, 0}, Case{1.5, 2},
          Case{2.4999999, 2}, Case{2.5000001, 3}, Case{-0.4, 0}, Case{7, 7}, Case{1e300, 1e300},
          Case{4503599627370497.0, 4503599627370497.0}}) {
        EXPECT_EQ(RoundHalfEven(c.v), c.want) << c.v;
    }
    EXPECT_TRUE(std::isinf(RoundHalfEven(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""))));
}

} // namespace
} // namespace zaplo::test
