// SPDX-License-Identifier: MIT
#include "net/core/DrawPacket.h"
#include "net/core/LenientNumber.h"
#include "net/core/PacketParams.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace zaplo {
namespace {

// The record read field by field with the lenient reader, rounded and range-checked; the quick
// reading of plain records must always come to the same.
std::string FieldByField(const std::string& szPacket) {
    std::string szOut;
    for (int n = 1; n <= 5; ++n) {
        const double v = RoundHalfEven(ReadLenientNumber(GetPacketParam(szPacket, n)));
        const bool bOk = n < 5 ? v >= -32768 && v <= 32767 : v >= 0 && v <= 16777215;
        if (!bOk) {
            return "dropped";
        }
        szOut += std::to_string(static_cast<int32_t>(v)) + ";";
    }
    return szOut;
}

std::string Read(const std::string& szPacket) {
    const std::optional<DrawRecord> r = ReadDrawPacket(szPacket);
    return r ? GetDrawPacket(r->sx, r->sy, r->dx, r->dy, r->clr) : "dropped";
}

TEST(DrawRecordReading, PlainAndNearlyPlainRecordsReadAsTheLenientReaderDoes) {
    // Mostly digits, signs and semicolons, so that many records are plain or just miss it:
    // empty fields, a lone "-", "--1", ten digits, a blank, a fraction, too few fields.
    const std::string alphabet = "0123456789012345678;;;;--. 9";
    std::mt19937 rng(12345);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 40);
    for (int i = 0; i < 200000; ++i) {
        std::string szPacket;
        for (int n = length(rng); n > 0; --n) {
            szPacket += alphabet[pick(rng)];
        }
        ASSERT_EQ(Read(szPacket), FieldByField(szPacket)) << '"' << szPacket << '"';
    }
    for (const std::string szEdge :
         {"-0;-0;0;0;0;", "000000009;0;0;0;0;", "0;0;0;0;999999999;", "0;0;0;0;1000000000;",
          "-;1;2;3;4;", "1;2;3;4;-1;", "-32768;32767;-32769;32768;16777215;"}) {
        EXPECT_EQ(Read(szEdge), FieldByField(szEdge)) << szEdge;
    }
}

} // namespace
} // namespace zaplo
