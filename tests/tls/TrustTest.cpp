// SPDX-License-Identifier: MIT
// The client's trust decisions and the store of accepted certificates, as plain classes.
#include "net/CertificateTrust.h"
#include "net/KnownHosts.h"

#include <gtest/gtest.h>

#include <string>

using zaplo::CertificateTrust;
using zaplo::KnownHosts;
using Verdict = CertificateTrust::Verdict;

namespace {

const std::string kA = *CertificateTrust::ReadFingerprint(std::string(64, 'a'));
const std::string kB = *CertificateTrust::ReadFingerprint(std::string(64, 'b'));

} // namespace

TEST(CertificateTrust, FingerprintsAreReadInAnyCaseWithOrWithoutColons) {
    const std::string szHex = "0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789abcdef";
    const std::optional<std::string> szPrint = CertificateTrust::ReadFingerprint(szHex);
    ASSERT_TRUE(szPrint);
    EXPECT_EQ(szPrint->substr(0, 24), "01:23:45:67:89:AB:CD:EF:");
    EXPECT_EQ(szPrint->size(), std::size_t{95});
    EXPECT_EQ(CertificateTrust::ReadFingerprint(*szPrint), szPrint);
    EXPECT_EQ(CertificateTrust::FormatFingerprint(std::string("\x00\xff\x10", 3)), "00:FF:10");
    for (const std::string& szBad :
         {std::string(), szHex.substr(1), szHex + "00", szHex.substr(0, 63) + "g",
          "0:" + szHex.substr(1), szHex + ":", ":" + szHex, "01::" + szHex.substr(2)}) {
        EXPECT_FALSE(CertificateTrust::ReadFingerprint(szBad)) << szBad;
    }
    EXPECT_TRUE(CertificateTrust::Same(kA, kA));
    EXPECT_FALSE(CertificateTrust::Same(kA, kB));
    EXPECT_FALSE(CertificateTrust::Same(kA, kA.substr(1)));
}

TEST(CertificateTrust, PinThenSystemThenRememberedThenAsk) {
    // A pin decides alone, whatever the system or the store says.
    EXPECT_EQ(CertificateTrust::Decide(false, kA, kA, kB), Verdict::Accept);
    EXPECT_EQ(CertificateTrust::Decide(true, kA, kB, kA), Verdict::NotPinned);
    // Vouched for by the system: taken, also over an older remembered one.
    EXPECT_EQ(CertificateTrust::Decide(true, kA, "", std::nullopt), Verdict::Accept);
    EXPECT_EQ(CertificateTrust::Decide(true, kA, "", kB), Verdict::Accept);
    // Otherwise the remembered one decides, and a first meeting is asked about.
    EXPECT_EQ(CertificateTrust::Decide(false, kA, "", kA), Verdict::Accept);
    EXPECT_EQ(CertificateTrust::Decide(false, kA, "", kB), Verdict::Changed);
    EXPECT_EQ(CertificateTrust::Decide(false, kA, "", std::nullopt), Verdict::Ask);
}

TEST(KnownHosts, KeepsOneFingerprintPerHostAndReadsBackOnlyWhatItWrites) {
    KnownHosts known;
    EXPECT_EQ(KnownHosts::Key("Example.org", 5201), "Example.org:5201");
    EXPECT_EQ(KnownHosts::Key("::1", 201), "[::1]:201");
    EXPECT_TRUE(known.Set(KnownHosts::Key("example.org", 5201), kA));
    EXPECT_TRUE(known.Set(KnownHosts::Key("::1", 201), kB));
    EXPECT_TRUE(known.Set(KnownHosts::Key("example.org", 5201), kB)); // replaced
    EXPECT_EQ(known.Size(), std::size_t{2});
    EXPECT_FALSE(known.Find("example.org:5202"));
    EXPECT_FALSE(known.Set("two words", kA));
    EXPECT_FALSE(known.Set("line\nbreak", kA));

    const KnownHosts back = KnownHosts::Parse(known.Text());
    EXPECT_EQ(back.Find("example.org:5201"), kB);
    EXPECT_EQ(back.Find("[::1]:201"), kB);
    EXPECT_EQ(back.Size(), std::size_t{2});

    // Lines made by something else: comments, broken fingerprints, overlong lines, CR LF.
    const KnownHosts odd = KnownHosts::Parse("# a comment\nh:1 " + kA + "\r\nh:2 nothex\nh:3\n" +
                                             std::string(2000, 'x') + " " + kA + "\nh:4 " + kB);
    EXPECT_EQ(odd.Size(), std::size_t{2});
    EXPECT_EQ(odd.Find("h:1"), kA);
    EXPECT_EQ(odd.Find("h:4"), kB);
}

TEST(KnownHosts, StoreIsBounded) {
    std::string szText;
    for (std::size_t i = 0; i < KnownHosts::kMaxHosts + 5; ++i) {
        szText += "h" + std::to_string(i) + ":1 " + kA + "\n";
    }
    KnownHosts known = KnownHosts::Parse(szText);
    EXPECT_EQ(known.Size(), KnownHosts::kMaxHosts);
    EXPECT_FALSE(known.Set("new:1", kA));
    EXPECT_TRUE(known.Set("h0:1", kB)); // a known host may still change
}
