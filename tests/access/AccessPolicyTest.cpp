// SPDX-License-Identifier: MIT
// Who may join, as plain policies over addresses, numbers and bytes: no sockets.
#include "net/AddressPrefix.h"
#include "net/AdmissionPolicy.h"
#include "net/BanFile.h"
#include "net/BanList.h"
#include "net/GuessLimiter.h"
#include "net/SessionPassword.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>

namespace {

using namespace zaplo;

// The PeerKey of a text address: IPv4 whole, IPv6 by its /64.
std::string Key(const char* szAddress) {
    uint8_t bytes[16] = {};
    if (::inet_pton(AF_INET, szAddress, bytes) == 1) {
        return {reinterpret_cast<const char*>(bytes), 4};
    }
    EXPECT_EQ(::inet_pton(AF_INET6, szAddress, bytes), 1) << szAddress;
    return {reinterpret_cast<const char*>(bytes), 8};
}

std::string TextOf(const char* szText) {
    const std::optional<AddressPrefix> prefix = AddressPrefix::Parse(szText);
    return prefix ? prefix->Text() : std::string("(none)");
}

TEST(AddressPrefix, ParsesAndWritesTheTextForms) {
    EXPECT_EQ(TextOf("192.0.2.7"), "192.0.2.7");
    EXPECT_EQ(TextOf("192.0.2.7/32"), "192.0.2.7");
    EXPECT_EQ(TextOf("10.1.2.3/8"), "10.0.0.0/8"); // host bits cleared
    EXPECT_EQ(TextOf("0.0.0.0/0"), "0.0.0.0/0");
    EXPECT_EQ(TextOf("2001:db8:1:2::/64"), "2001:db8:1:2::/64");
    EXPECT_EQ(TextOf("2001:DB8:1:2:aa:bb:cc:dd"), "2001:db8:1:2::/64"); // a host is its /64
    EXPECT_EQ(TextOf("2001:db8:ffff::/33"), "2001:db8:8000::/33");
    EXPECT_EQ(TextOf("::ffff:192.0.2.7"), "192.0.2.7");
    EXPECT_EQ(TextOf("::ffff:10.9.9.9/104"), "10.0.0.0/8");
    for (const char* szBad : {"", "192.0.2", "192.0.2.256", "192.0.2.7/33", "192.0.2.7/", "/8",
                              "10.0.0.0/-1", "10.0.0.0/8x", "10.0.0.0/ 8", " 10.0.0.1",
                              "2001:db8::/129", "2001:db8:::1", "host.example", "10.0.0.0/0008"}) {
        EXPECT_FALSE(AddressPrefix::Parse(szBad)) << szBad;
    }
    // Equal networks compare equal whatever form they were written in.
    EXPECT_EQ(AddressPrefix::Parse("10.1.2.3/8"), AddressPrefix::Parse("10.200.0.0/8"));
    EXPECT_NE(AddressPrefix::Parse("10.0.0.0/8"), AddressPrefix::Parse("10.0.0.0/9"));
}

TEST(AddressPrefix, MatchesPeerKeysOfItsFamilyAndNetworkOnly) {
    const AddressPrefix host = *AddressPrefix::Parse("192.0.2.7");
    EXPECT_TRUE(host.Matches(Key("192.0.2.7")));
    EXPECT_FALSE(host.Matches(Key("192.0.2.8")));
    const AddressPrefix net12 = *AddressPrefix::Parse("172.16.0.0/12");
    EXPECT_TRUE(net12.Matches(Key("172.31.255.255")));
    EXPECT_FALSE(net12.Matches(Key("172.32.0.0")));
    const AddressPrefix v6 = *AddressPrefix::Parse("2001:db8:1:2::/64");
    EXPECT_TRUE(v6.Matches(Key("2001:db8:1:2::99")));
    EXPECT_FALSE(v6.Matches(Key("2001:db8:1:3::")));
    const AddressPrefix v6short = *AddressPrefix::Parse("2001:db8::/32");
    EXPECT_TRUE(v6short.Matches(Key("2001:db8:ffff:1::")));
    EXPECT_FALSE(v6short.Matches(Key("2001:db9::")));
    // The whole IPv4 range never reaches an IPv6 peer, nor the other way round; nor an odd key.
    const AddressPrefix all4 = *AddressPrefix::Parse("0.0.0.0/0");
    EXPECT_TRUE(all4.Matches(Key("203.0.113.1")));
    EXPECT_FALSE(all4.Matches(Key("2001:db8::1")));
    EXPECT_FALSE(AddressPrefix::Parse("::/0")->Matches(Key("10.0.0.1")));
    EXPECT_FALSE(all4.Matches(""));
    // A key's own text form reads back as the prefix that matches it.
    for (const char* szAddress : {"198.51.100.4", "2001:db8:aa:bb::"}) {
        const std::string szText = AddressPrefix::KeyText(Key(szAddress));
        ASSERT_TRUE(AddressPrefix::Parse(szText)) << szText;
        EXPECT_TRUE(AddressPrefix::Parse(szText)->Matches(Key(szAddress))) << szText;
    }
    EXPECT_EQ(AddressPrefix::KeyText(Key("2001:db8:aa:bb::")), "2001:db8:aa:bb::/64");
    EXPECT_EQ(AddressPrefix::KeyText("abc"), "");
}

TEST(BanList, AddsListsInOrderAndLiftsWhateverTheSpelling) {
    BanList bans;
    EXPECT_TRUE(bans.Add(*AddressPrefix::Parse("192.0.2.7")));
    EXPECT_TRUE(bans.Add(*AddressPrefix::Parse("10.0.0.0/8")));
    EXPECT_TRUE(bans.Add(*AddressPrefix::Parse("2001:db8:1:2::/64")));
    EXPECT_FALSE(bans.Add(*AddressPrefix::Parse("10.9.9.9/8"))); // the same network again
    EXPECT_EQ(bans.List(),
              (std::vector<std::string>{"192.0.2.7", "10.0.0.0/8", "2001:db8:1:2::/64"}));
    EXPECT_TRUE(bans.Contains(Key("10.20.30.40")));
    EXPECT_TRUE(bans.Contains(Key("2001:db8:1:2::5")));
    EXPECT_FALSE(bans.Contains(Key("192.0.2.70")));
    EXPECT_TRUE(bans.Lift(*AddressPrefix::Parse("10.255.0.0/8")));
    EXPECT_FALSE(bans.Lift(*AddressPrefix::Parse("10.0.0.0/8")));
    EXPECT_FALSE(bans.Contains(Key("10.20.30.40")));
    EXPECT_EQ(bans.List(), (std::vector<std::string>{"192.0.2.7", "2001:db8:1:2::/64"}));
    // Bounded: a full list refuses more.
    BanList full;
    for (std::size_t i = 0; i < BanList::kMaxBans; ++i) {
        const std::string szAddress =
            "10." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".1";
        ASSERT_TRUE(full.Add(*AddressPrefix::Parse(szAddress))) << szAddress;
    }
    EXPECT_FALSE(full.Add(*AddressPrefix::Parse("192.0.2.1")));
    EXPECT_EQ(full.Size(), BanList::kMaxBans);
}

TEST(BanFile, ReadsAddressesAndPrefixesAndNamesBadLines) {
    const BanFile file = BanFile::Read("# the office\n"
                                       "192.0.2.7\r\n"
                                       "\n"
                                       "   10.0.0.0/8   # whole net\n"
                                       "2001:db8:1:2::/64\n"
                                       "10.0.0.300\n"
                                       "\t\n"
                                       "fe80::/10\n"
                                       "banned people");
    std::vector<std::string> texts;
    for (const AddressPrefix& prefix : file.Prefixes()) {
        texts.push_back(prefix.Text());
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"192.0.2.7", "10.0.0.0/8", "2001:db8:1:2::/64",
                                               "fe80::/10"}));
    EXPECT_EQ(file.Complaints(),
              (std::vector<std::string>{"line 6: not an address or prefix: 10.0.0.300",
                                        "line 9: not an address or prefix: banned people"}));
    bool bOpened = true;
    EXPECT_TRUE(BanFile::Load("/nonexistent/zaplo-bans", bOpened).Prefixes().empty());
    EXPECT_FALSE(bOpened);
}

TEST(GuessLimiter, FiveFreeThenDoublingWaitsUpToAQuarterHourPerAddress) {
    EXPECT_EQ(GuessLimiter::WaitAfter(4), 0);
    EXPECT_EQ(GuessLimiter::WaitAfter(5), 60'000);
    EXPECT_EQ(GuessLimiter::WaitAfter(6), 120'000);
    EXPECT_EQ(GuessLimiter::WaitAfter(9), 900'000);
    EXPECT_EQ(GuessLimiter::WaitAfter(1000), 900'000);
    for (const int32_t lStart : {0, std::numeric_limits<int32_t>::max() - 30'000}) {
        GuessLimiter guesses;
        int32_t lNow = lStart;
        const auto later = [&](int32_t lMs) {
            lNow = static_cast<int32_t>(static_cast<uint32_t>(lNow) + static_cast<uint32_t>(lMs));
        };
        for (int i = 0; i < 4; ++i) {
            guesses.Failed("a", lNow);
            EXPECT_FALSE(guesses.Waiting("a", lNow)) << i;
        }
        guesses.Failed("a", lNow);
        EXPECT_TRUE(guesses.Waiting("a", lNow)) << lStart;
        EXPECT_FALSE(guesses.Waiting("b", lNow)); // another address is not touched
        later(60'000);
        EXPECT_TRUE(guesses.Waiting("a", lNow)); // reaching the end is not passing it
        later(1);
        EXPECT_FALSE(guesses.Waiting("a", lNow)) << lStart;
        guesses.Failed("a", lNow);
        later(120'000);
        EXPECT_TRUE(guesses.Waiting("a", lNow));
        later(1);
        EXPECT_FALSE(guesses.Waiting("a", lNow));
        EXPECT_EQ(guesses.Failures("a"), 6);
    }
}

TEST(GuessLimiter, ManyAddressesAreBoundedAndWaitersAreKeptLongest) {
    GuessLimiter guesses;
    for (int i = 0; i < 5; ++i) {
        guesses.Failed("waiter", 0);
    }
    for (std::size_t i = 0; i < 3 * GuessLimiter::kMaxAddresses; ++i) {
        guesses.Failed("guesser" + std::to_string(i), 1);
    }
    EXPECT_LE(guesses.Addresses(), GuessLimiter::kMaxAddresses);
    EXPECT_TRUE(guesses.Waiting("waiter", 2));
}

TEST(AdmissionPolicy, BanThenGuessingThenCapAtTheAcceptAndTheLimitAtTheJoin) {
    AdmissionPolicy policy;
    const std::string szKey = Key("192.0.2.7");
    // Nothing set: everybody, however many.
    EXPECT_FALSE(policy.AtAccept(szKey, 1000, true, 0));
    EXPECT_FALSE(policy.AtJoin(1000));
    policy.SetMaxPerAddress(3);
    EXPECT_FALSE(policy.AtAccept(szKey, 3, false, 0));
    EXPECT_EQ(policy.AtAccept(szKey, 4, false, 0), "Too many connections from your address.");
    for (int i = 0; i < GuessLimiter::kFreeGuesses; ++i) {
        policy.Guesses().Failed(szKey, 0);
    }
    EXPECT_EQ(policy.AtAccept(szKey, 4, true, 0), "Too many wrong passwords; try again later.");
    // The wait is about the password: with none, it does not count.
    EXPECT_FALSE(policy.AtAccept(szKey, 1, false, 0));
    policy.Bans().Add(*AddressPrefix::Parse("192.0.2.0/24"));
    EXPECT_EQ(policy.AtAccept(szKey, 4, true, 0), "You are banned from this session.");
    EXPECT_FALSE(policy.AtAccept(Key("198.51.100.1"), 1, true, 0));
    policy.SetMaxUsers(2);
    EXPECT_FALSE(policy.AtJoin(1));
    EXPECT_EQ(policy.AtJoin(2), "The session is full.");
    policy.SetMaxUsers(-5);
    EXPECT_FALSE(policy.AtJoin(1000));
}

TEST(SessionPassword, FreshChallengesAndTheirHmacAnswers) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string szChallenge = SessionPassword::NewChallenge();
        EXPECT_TRUE(SessionPassword::IsChallenge(szChallenge)) << szChallenge;
        seen.insert(szChallenge);
    }
    EXPECT_EQ(seen.size(), 200U);
    for (const char* szBad :
         {"", "0123456789abcdef0123456789abcde", "0123456789ABCDEF0123456789abcdef",
          "0123456789abcdef0123456789abcdefa", "0123456789abcdef0123456789abcdeg"}) {
        EXPECT_FALSE(SessionPassword::IsChallenge(szBad)) << szBad;
    }
    // RFC 4231, test case 2: key "Jefe".
    EXPECT_EQ(SessionPassword::AnswerFor("Jefe", "what do ya want for nothing?"),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    const std::string szChallenge = "00112233445566778899aabbccddeeff";
    const SessionPassword password("pässwort");
    const std::string szRight = SessionPassword::AnswerFor("pässwort", szChallenge);
    EXPECT_EQ(szRight.size(), SessionPassword::kAnswerDigits);
    EXPECT_TRUE(password.Check(szChallenge, szRight));
    // Another challenge, another password, a changed digit, other case, a prefix: all wrong.
    EXPECT_FALSE(password.Check("ffeeddccbbaa99887766554433221100", szRight));
    EXPECT_FALSE(password.Check(szChallenge, SessionPassword::AnswerFor("passwort", szChallenge)));
    std::string szChanged = szRight;
    szChanged.back() = szChanged.back() == '0' ? '1' : '0';
    EXPECT_FALSE(password.Check(szChallenge, szChanged));
    std::string szUpper = szRight;
    for (char& ch : szUpper) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    EXPECT_FALSE(password.Check(szChallenge, szUpper));
    EXPECT_FALSE(password.Check(szChallenge, szRight.substr(0, 63)));
    EXPECT_FALSE(password.Check(szChallenge, ""));
}

} // namespace
