// SPDX-License-Identifier: MIT
// The connection dialog's checks for settings given on a command line.
#include "net/core/StartValues.h"

#include <gtest/gtest.h>

#include <string>

using zaplo::StartValues;

TEST(StartValues, PortIsAWholeNumberTheProgramCanHold) {
    std::string szError;
    EXPECT_EQ(StartValues::ReadPort("1", szError), int16_t{1});
    EXPECT_EQ(StartValues::ReadPort("5201", szError), int16_t{5201});
    EXPECT_EQ(StartValues::ReadPort("32767", szError), int16_t{32767});
    EXPECT_EQ(StartValues::ReadPort("00080", szError), int16_t{80});
    EXPECT_TRUE(szError.empty());
    // No lenient reading here: what does not read whole is refused, not guessed.
    for (const char* szBad :
         {"", "0", "32768", "65535", "-1", "+5", " 5", "5 ", "80abc", "1e3", "8.0", "999999"}) {
        szError.clear();
        EXPECT_FALSE(StartValues::ReadPort(szBad, szError)) << szBad;
        EXPECT_EQ(szError, "the port must be a whole number from 1 to 32767") << szBad;
    }
}

TEST(StartValues, NicknameFitsTheBoxWithoutLineBreaks) {
    std::string szError;
    EXPECT_EQ(StartValues::ReadNick("", szError), std::string());
    EXPECT_EQ(StartValues::ReadNick(std::string(16, 'x'), szError), std::string(16, 'x'));
    std::string szEuros;
    for (int i = 0; i < 16; ++i) {
        szEuros += "\xe2\x82\xac";
    }
    EXPECT_EQ(StartValues::ReadNick(szEuros, szError), szEuros);
    EXPECT_TRUE(szError.empty());
    EXPECT_FALSE(StartValues::ReadNick(std::string(17, 'x'), szError));
    EXPECT_EQ(szError, "the nickname must be at most 16 characters");
    for (const char* szBad : {"ann\nbob", "ann\r", "\r\n"}) {
        EXPECT_FALSE(StartValues::ReadNick(szBad, szError));
        EXPECT_EQ(szError, "the nickname must not hold a line break");
    }
}

TEST(StartValues, AddressTakesAnOptionalPort) {
    struct Case {
        const char* szText;
        const char* szHost;
        int16_t nPort;
    };
    for (const Case& c :
         {Case{"example.org", "example.org", 201}, Case{"10.0.0.7:5201", "10.0.0.7", 5201},
          Case{"[::1]:5201", "::1", 5201}, Case{"[::1]", "::1", 201},
          Case{"fe80::1", "fe80::1", 201}, Case{"h:1", "h", 1}}) {
        std::string szError;
        const auto address = StartValues::ReadAddress(c.szText, szError);
        ASSERT_TRUE(address) << c.szText << ": " << szError;
        EXPECT_EQ(address->szHost, c.szHost);
        EXPECT_EQ(address->nPort, c.nPort) << c.szText;
    }
    std::string szError;
    EXPECT_TRUE(StartValues::ReadAddress(std::string(253, 'h'), szError));
}

TEST(StartValues, AddressRefusesWhatCannotBeReached) {
    struct Case {
        std::string szText;
        const char* szError;
    };
    const char* const szNoHost = "the address names no host";
    const char* const szHost =
        "the host must be a name or address of at most 253 characters without blanks";
    const char* const szPort = "the port must be a whole number from 1 to 32767";
    const char* const szBracket = "the address must be [IPV6] or [IPV6]:PORT";
    for (const Case& c :
         {Case{"", szNoHost}, Case{":5201", szNoHost}, Case{"[]:5201", szNoHost},
          Case{"host:", szPort}, Case{"host:0", szPort}, Case{"host:40000", szPort},
          Case{"[::1]:x", szPort}, Case{"[::1", szBracket}, Case{"[::1]5201", szBracket},
          Case{"a b", szHost}, Case{"a\tb:5", szHost}, Case{std::string(254, 'h'), szHost}}) {
        std::string szError;
        EXPECT_FALSE(StartValues::ReadAddress(c.szText, szError)) << c.szText;
        EXPECT_EQ(szError, c.szError) << c.szText;
    }
}
