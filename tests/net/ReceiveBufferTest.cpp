// SPDX-License-Identifier: MIT
#include "net/core/ReceiveBuffer.h"

#include <gtest/gtest.h>

namespace zaplo {
namespace {

constexpr std::size_t kMax = ReceiveBuffer::kMaxLine;

// Delivers the stream in pieces ending at `cuts` (ascending) and returns everything taken. Each
// take must be whole lines, and the buffer never holds more than one line's worth. The pieces go
// in as views and, in a second buffer, as strings handed over; both must give the same.
std::string Take(std::string_view stream, std::vector<std::size_t> cuts) {
    ReceiveBuffer viewed;
    ReceiveBuffer moved;
    std::string out;
    std::string outMoved;
    std::size_t pos = 0;
    cuts.push_back(stream.size());
    for (const std::size_t cut : cuts) {
        viewed.Append(stream.substr(pos, cut - pos));
        moved.Append(std::string(stream.substr(pos, cut - pos)));
        const std::string lines = viewed.TakeLines();
        outMoved += moved.TakeLines();
        EXPECT_TRUE(lines.empty() || lines.ends_with("\r\n"));
        EXPECT_LE(viewed.Buffered(), kMax + 2);
        EXPECT_EQ(moved.Buffered(), viewed.Buffered());
        out += lines;
        pos = cut;
    }
    EXPECT_EQ(outMoved, out);
    return out;
}

TEST(ReceiveBuffer, MessagesSplitAtAnyByteArriveWhole) {
    const std::string stream = "{2}b\xc3\xb6\r\n{1}{b}a\rb}c\r\n\r\n{10}-1;2;3;4;255;\r\n{9}x\r\n";
    std::vector<std::size_t> everyByte;
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        EXPECT_EQ(Take(stream, {cut}), stream) << "cut at " << cut;
        everyByte.push_back(cut);
    }
    EXPECT_EQ(Take(stream, everyByte), stream);
}

TEST(ReceiveBuffer, LineBoundIsExactHoweverTheLineArrives) {
    const std::string next = "{9}next\r\n";
    for (const std::size_t len : {kMax, kMax + 1}) {
        for (const char last : {'a', '\r'}) { // a lone CR is content like any byte
            const std::string line = "{9}" + std::string(len - 4, 'a') + last + "\r\n";
            const std::string want = len <= kMax ? line + next : next;
            // Cuts in the middle, around the CR LF and after it.
            for (const std::size_t c1 : {std::size_t{1}, len / 2, len - 1, len, len + 1}) {
                for (const std::size_t c2 : {len + 1, len + 3}) {
                    EXPECT_EQ(Take(line + next, {c1, c2}), want)
                        << len << " " << int{last} << " cuts " << c1 << "," << c2;
                }
            }
        }
    }
}

TEST(ReceiveBuffer, EndlessLineIsDroppedWithBoundedMemory) {
    const std::string stream = std::string(1'000'000, 'x') + "\r\n{9}ok\r\n";
    std::vector<std::size_t> cuts; // 1 kB pieces, one ending between the CR and the LF
    for (std::size_t cut = 1; cut < stream.size(); cut += 1000) {
        cuts.push_back(cut);
    }
    EXPECT_EQ(Take(stream, cuts), "{9}ok\r\n");
    EXPECT_EQ(Take(stream, {}), "{9}ok\r\n");
}

} // namespace
} // namespace zaplo
