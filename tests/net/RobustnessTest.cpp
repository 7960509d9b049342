#include "net/PacketProc.h"

#include "tests/net/FakePacketHost.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace zaplo::test {
namespace {

// Random and mutated blocks from random origins: nothing crashes (the suite also runs under
// ASan and UBSan), relays go only to other slots within 1..HighestSlot, answers only to the
// origin, and every relayed text is a line that was received.
TEST(PacketProcRobustness, RandomBlocksKeepTheRelayRules) {
    std::mt19937 rng(4711);
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    const std::string seeds[] = {"{1}{ann}hi",
                                 "{2}bob",
                                 "{3}",
                                 "{8}host;ann;",
                                 "{9}status",
                                 "{10}1;2;3;4;255;",
                                 "{10}-32768;0;x;;16777215;",
                                 "{11}",
                                 "{10}",
                                 "{1}",
                                 "{2}",
                                 "{12}x"};
    const char noise[] = {'{', '}', ';', '\r', '\n', '-', '.', '0', '9', 'x', ' ', '\0', '\xff'};

    std::size_t nRelayed = 0;
    std::size_t nAnswered = 0;
    for (int round = 0; round < 100'000; ++round) {
        FakePacketHost host;
        host.rows.push_back({"host", 0});
        host.nUsers = static_cast<int16_t>(pick(6));
        for (int16_t s = 1; s <= host.nUsers; ++s) {
            if (pick(4) != 0) {
                host.connected.insert(s);
            }
            if (pick(2) != 0) {
                host.rows.push_back({"u" + std::to_string(s), s});
            }
        }

        std::string szBlock;
        for (std::size_t n = pick(5); n > 0; --n) {
            szBlock += seeds[pick(std::size(seeds))];
            if (pick(3) != 0) {
                szBlock += "\r\n";
            }
        }
        for (std::size_t n = pick(4); n > 0; --n) { // mutations
            const std::size_t at = pick(szBlock.size() + 1);
            const char c = noise[pick(std::size(noise))];
            if (pick(2) == 0 && at < szBlock.size()) {
                szBlock[at] = c;
            } else {
                szBlock.insert(at, 1, c);
            }
        }

        std::set<std::string> received;
        std::size_t lastEnd = std::string::npos;
        for (std::size_t pos = 0, end; (end = szBlock.find("\r\n", pos)) != std::string::npos;
             pos = end + 2) {
            received.insert(szBlock.substr(pos, end - pos));
            lastEnd = end;
        }

        const int16_t nOrigin = host.nUsers == 0 || pick(3) == 0
                                    ? int16_t{-1}
                                    : static_cast<int16_t>(1 + pick(host.nUsers));
        const int16_t nTop = host.nUsers;
        std::string szPacket = szBlock;
        PacketProc(szPacket, nOrigin, host);

        ASSERT_EQ(szPacket, lastEnd == std::string::npos ? szBlock : szBlock.substr(lastEnd + 2));
        if (nOrigin == -1) {
            ASSERT_TRUE(host.sent.empty() && host.queue.empty()) << szBlock;
        }
        for (const std::string& call : host.calls) {
            if (call.rfind("Send", 0) != 0) {
                continue;
            }
            const std::size_t colon = call.find(':');
            const int slot = std::stoi(call.substr(4, colon - 4));
            const std::string szData = call.substr(colon + 1);
            ASSERT_TRUE(slot >= 1 && slot <= nTop) << szBlock;
            if (szData.rfind("{9}", 0) == 0 || szData.rfind("{8}", 0) == 0) {
                ASSERT_EQ(slot, nOrigin) << szBlock;
                ++nAnswered;
            } else {
                ASSERT_NE(slot, nOrigin) << szBlock;
                ASSERT_EQ(received.count(szData), 1u) << szBlock;
                ++nRelayed;
            }
        }
    }
    // The generator must actually reach the relay and answer paths.
    EXPECT_GT(nRelayed, 10'000u);
    EXPECT_GT(nAnswered, 1'000u);
}

} // namespace
} // namespace zaplo::test
