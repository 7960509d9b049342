#include "net/ReceiveBuffer.h"
#include "net/PacketProc.h"

#include "tests/net/FakePacketHost.h"

#include <gtest/gtest.h>

#include <random>

namespace zaplo::test {
namespace {

constexpr std::size_t kMax = ReceiveBuffer::kMaxLine;

// What the socket side does with each delivery.
void Deliver(ReceiveBuffer& buffer, std::string_view piece, int16_t nOrigin, FakePacketHost& host) {
    buffer.Append(piece);
    std::string szLines = buffer.TakeLines();
    PacketProc(szLines, nOrigin, host);
    ASSERT_EQ(szLines, "") << "TakeLines hands over whole lines only";
}

FakePacketHost Server() {
    FakePacketHost host;
    host.rows.push_back({"host", 0});
    host.Connect(1);
    host.Connect(2);
    return host;
}

// A status line whose content (CR LF not counted) is exactly n bytes.
std::string LineOf(std::size_t n, char fill) {
    return "{9}" + std::string(n - 3, fill) + "\r\n";
}

TEST(ReceiveBuffer, MessagesSplitAtAnyByteArriveWhole) {
    const std::string stream = "{2}b\xc3\xb6"
                               "b\r\n{1}{b\xc3\xb6"
                               "b}a\rb}c\r\n\r\n{10}-1;2;3;4;255;\r\n{11}\r\n{9}x\r\n";
    FakePacketHost whole = Server();
    {
        ReceiveBuffer buffer;
        Deliver(buffer, stream, 2, whole);
    }
    ASSERT_EQ(whole.calls.size(), 12u);

    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        FakePacketHost host = Server();
        ReceiveBuffer buffer;
        Deliver(buffer, std::string_view(stream).substr(0, cut), 2, host);
        Deliver(buffer, std::string_view(stream).substr(cut), 2, host);
        EXPECT_EQ(host.calls, whole.calls) << "cut at " << cut;
        EXPECT_EQ(buffer.Buffered(), 0u);
    }

    FakePacketHost bytewise = Server();
    ReceiveBuffer buffer;
    for (const char c : stream) {
        Deliver(buffer, std::string_view(&c, 1), 2, bytewise);
    }
    EXPECT_EQ(bytewise.calls, whole.calls);
}

TEST(ReceiveBuffer, EndlessLineIsDroppedWithBoundedMemory) {
    ReceiveBuffer buffer;
    std::string szTaken;
    const std::string piece(1000, 'x');
    for (int i = 0; i < 1000; ++i) { // 1 MB without a line end
        buffer.Append(piece);
        szTaken += buffer.TakeLines();
        ASSERT_LE(buffer.Buffered(), kMax + 2);
    }
    buffer.Append("xx\r");
    buffer.Append("\n{9}ok\r\n{9}n");
    szTaken += buffer.TakeLines();
    EXPECT_EQ(szTaken, "{9}ok\r\n");
    EXPECT_EQ(buffer.Buffered(), 4u);

    // The same in one piece, followed in the same piece by a normal line.
    buffer.Append("ext\r\n" + std::string(1'000'000, 'y') + "\r\n{1}a\r\n");
    EXPECT_EQ(buffer.TakeLines(), "{9}next\r\n{1}a\r\n");
}

TEST(ReceiveBuffer, LineBoundIsExactAndHoldsHoweverTheLineArrives) {
    const std::string fits = LineOf(kMax, 'a');
    const std::string over = LineOf(kMax + 1, 'b');
    const std::string next = "{9}next\r\n";
    // A CR inside the line counts towards its length like any byte.
    const std::string crFits = "{9}" + std::string(kMax - 4, 'c') + "\r\r\n";
    const std::string crOver = "{9}" + std::string(kMax - 3, 'd') + "\r\r\n";

    const auto run = [&](const std::string& stream, std::size_t cut1, std::size_t cut2) {
        ReceiveBuffer buffer;
        std::string out;
        buffer.Append(std::string_view(stream).substr(0, cut1));
        out += buffer.TakeLines();
        buffer.Append(std::string_view(stream).substr(cut1, cut2 - cut1));
        out += buffer.TakeLines();
        buffer.Append(std::string_view(stream).substr(cut2));
        out += buffer.TakeLines();
        return out;
    };
    for (const auto& [line, bKept] : {std::pair{fits, true}, std::pair{over, false},
                                      std::pair{crFits, true}, std::pair{crOver, false}}) {
        const std::string stream = line + next;
        const std::string want = bKept ? stream : next;
        const std::size_t end = line.size();
        // Cuts around the line's end and its CR LF, and in its middle.
        for (const std::size_t c1 :
             {std::size_t{0}, std::size_t{1}, end / 2, end - 3, end - 2, end - 1, end, end + 1}) {
            for (const std::size_t c2 : {c1, end - 1, end, end + 2, stream.size()}) {
                if (c2 >= c1) {
                    EXPECT_EQ(run(stream, c1, c2), want)
                        << "kept=" << bKept << " cuts " << c1 << "," << c2;
                }
            }
        }
    }
}

TEST(ReceiveBuffer, RandomPiecesMatchASimpleLineSplit) {
    std::mt19937 rng(20240607);
    const auto pick = [&](std::size_t lo, std::size_t hi) {
        return std::uniform_int_distribution<std::size_t>(lo, hi)(rng);
    };
    for (int round = 0; round < 200; ++round) {
        std::string stream;
        for (std::size_t n = pick(1, 6); n > 0; --n) {
            const std::size_t len = pick(0, 3) == 0 ? pick(kMax - 2, kMax + 2) : pick(0, 40);
            for (std::size_t i = 0; i < len; ++i) {
                stream += "ab\r\n}"[pick(0, 4)]; // lone CRs and LFs are content
            }
            stream += "\r\n";
        }
        stream += "tail";

        std::string want;
        for (std::size_t pos = 0;;) {
            const std::size_t end = stream.find("\r\n", pos);
            if (end == std::string::npos) {
                break;
            }
            if (end - pos <= kMax) {
                want += stream.substr(pos, end + 2 - pos);
            }
            pos = end + 2;
        }

        ReceiveBuffer buffer;
        std::string got;
        for (std::size_t pos = 0; pos < stream.size();) {
            const std::size_t len =
                std::min(stream.size() - pos, pick(1, 3) == 1 ? 1 : pick(1, 9000));
            buffer.Append(std::string_view(stream).substr(pos, len));
            got += buffer.TakeLines();
            ASSERT_LE(buffer.Buffered(), kMax + 2);
            pos += len;
        }
        ASSERT_EQ(got, want) << "round " << round;
    }
}

} // namespace
} // namespace zaplo::test
