// SPDX-License-Identifier: MIT
// The headless server's plain parts: the print budget, the printed form of a status line and the
// command line.
#include "server/LineBudget.h"
#include "server/PlainLine.h"
#include "server/ServerOptions.h"
#include "server/StatusPrinter.h"

#include <gtest/gtest.h>

#include <QTimeZone>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

using zaplo::LineBudget;
using zaplo::ServerOptions;
using zaplo::StatusPrinter;

namespace {

// How many of 150 lines at lNow the budget lets through.
int Taken(LineBudget& budget, int32_t lNow) {
    int nTaken = 0;
    for (int i = 0; i < 150; ++i) {
        nTaken += budget.Take(lNow) ? 1 : 0;
    }
    return nTaken;
}

} // namespace

TEST(LineBudget, BurstThenAStepRateAndTheDroppedAreCounted) {
    LineBudget budget;
    EXPECT_EQ(Taken(budget, 1000), LineBudget::kBurst);
    EXPECT_EQ(budget.TakeDropped(), 50);
    EXPECT_EQ(budget.TakeDropped(), 0);
    // One line per 1000 / kPerSecond ms comes back, not more.
    EXPECT_FALSE(budget.Take(1099));
    EXPECT_TRUE(budget.Take(1100));
    EXPECT_FALSE(budget.Take(1100));
    EXPECT_EQ(budget.TakeDropped(), 2);
    // A long quiet time refills the burst, no more.
    EXPECT_EQ(Taken(budget, 1000000), LineBudget::kBurst);
}

TEST(LineBudget, TickWrapRefillsAndAClockGoingBackDoesNot) {
    LineBudget budget;
    for (int i = 0; i < LineBudget::kBurst; ++i) {
        ASSERT_TRUE(budget.Take(INT32_MAX - 50));
    }
    EXPECT_FALSE(budget.Take(INT32_MAX - 50));
    EXPECT_TRUE(budget.Take(INT32_MIN + 49)); // 100 ms later, across the wrap
    EXPECT_FALSE(budget.Take(INT32_MIN + 49));

    LineBudget back;
    for (int i = 0; i < LineBudget::kBurst; ++i) {
        ASSERT_TRUE(back.Take(10000));
    }
    EXPECT_FALSE(back.Take(9000)); // a clock that went back refills nothing
    EXPECT_FALSE(back.Take(9050));
    EXPECT_TRUE(back.Take(9100));
}

namespace {

const QDateTime kWhen(QDate(2026, 12, 7), QTime(9, 5, 3), QTimeZone::utc());

std::string Printed(std::string_view szStatus) {
    return StatusPrinter::Format(kWhen, szStatus);
}

} // namespace

// Peers' bytes cannot steer a terminal nor reorder the line; long lines are cut.
TEST(StatusPrinter, TimeThenThePlainText) {
    const std::string szFffd = "\xef\xbf\xbd";
    std::string szSmiles;
    for (int i = 0; i < 201; ++i) {
        szSmiles += "\xf0\x9f\x98\x80";
    }
    const std::pair<std::string, std::string> cases[] = {
        {"ann has joined!", "ann has joined!"},
        {"", ""},
        {"\xe2\x82\xac \xf0\x9f\x98\x80", "\xe2\x82\xac \xf0\x9f\x98\x80"},
        // Escape sequences, a carriage return, a tab, DEL, a C1 control (U+009B, CSI), broken
        // UTF-8.
        {"\x1b[2Jx\ry\tz\x7f\xc2\x9b"
         "1m\xff",
         szFffd + "[2Jx" + szFffd + "y" + szFffd + "z" + szFffd + szFffd + "1m" + szFffd},
        // U+202E (right-to-left override) would show "ann has joined!" after it reversed; U+2066
        // to U+2069 are the isolates.
        {"\xe2\x80\xae"
         "nimda\xe2\x81\xa6x\xe2\x81\xa9 has joined!",
         szFffd + "nimda" + szFffd + "x" + szFffd + " has joined!"},
        {"\xd7\x90", "\xd7\x90"}, // a right-to-left letter stays
        {std::string(200, 'a'), std::string(200, 'a')},
        {std::string(256 * 1024, 'a'), std::string(200, 'a') + "\xe2\x80\xa6"},
        // Characters are counted, not bytes.
        {szSmiles, szSmiles.substr(0, 800) + "\xe2\x80\xa6"}};
    for (const auto& [szIn, szOut] : cases) {
        EXPECT_EQ(Printed(szIn), "2026-12-07 09:05:03 " + szOut) << szIn.substr(0, 40);
    }
    // U+202A to U+202D are the other embeddings and overrides; their neighbours stay.
    for (char32_t ch : {0x202AU, 0x202BU, 0x202CU, 0x202DU, 0x2067U, 0x2068U, 0x200FU}) {
        EXPECT_TRUE(zaplo::PlainLine::IsBidiControl(ch)) << static_cast<unsigned>(ch);
    }
    for (char32_t ch : {0x2029U, 0x202FU, 0x2065U, 0x206AU, 0x05D0U}) {
        EXPECT_FALSE(zaplo::PlainLine::IsBidiControl(ch)) << static_cast<unsigned>(ch);
    }
}

TEST(StatusPrinter, OverTheBudgetLinesAreCountedNotWritten) {
    std::vector<std::string> lines;
    int32_t lNow = 0;
    StatusPrinter printer([&](std::string_view szLine) { lines.emplace_back(szLine); },
                          [] { return kWhen; }, [&] { return lNow; });
    for (int i = 0; i < LineBudget::kBurst + 30; ++i) {
        printer.Print("line " + std::to_string(i));
    }
    ASSERT_EQ(lines.size(), std::size_t{LineBudget::kBurst});
    EXPECT_EQ(lines.front(), "2026-12-07 09:05:03 line 0\n");
    EXPECT_EQ(lines.back(), "2026-12-07 09:05:03 line 99\n");
    lNow = 1000;
    printer.Print("later");
    ASSERT_EQ(lines.size(), std::size_t{LineBudget::kBurst + 2});
    EXPECT_EQ(lines[100], "2026-12-07 09:05:03 (30 status lines not printed: too many)\n");
    EXPECT_EQ(lines[101], "2026-12-07 09:05:03 later\n");
}

namespace {

ServerOptions Parse(std::initializer_list<const char*> args) {
    QStringList arguments{QStringLiteral("zaplo-server")};
    for (const char* szArg : args) {
        arguments << QString::fromUtf8(szArg);
    }
    return ServerOptions::Parse(arguments);
}

} // namespace

// The long forms are seen end to end in tst_ServerProcess; here the defaults, bounds and forms.
TEST(ServerOptions, DefaultsAndGivenValues) {
    ServerOptions options = Parse({});
    EXPECT_EQ(options.action, ServerOptions::Action::Run);
    EXPECT_EQ(options.nPort, 201);
    EXPECT_EQ(options.szNick, "host");
    EXPECT_FALSE(options.bSendPicture);
    EXPECT_EQ(options.nWebPort, 0);
    options = Parse({"-p", "32767", "-n", "", "-l", "127.0.0.1"});
    EXPECT_EQ(options.nPort, 32767);
    EXPECT_EQ(options.szNick, "");
    EXPECT_EQ(options.szListen, "127.0.0.1");
    EXPECT_EQ(Parse({"--port=6000"}).nPort, 6000);
    EXPECT_EQ(Parse({"--web", "65535", "--port", "5201"}).nWebPort, 65535);
}

TEST(ServerOptions, HelpAndVersion) {
    const ServerOptions help = Parse({"--help", "--port", "0"});
    EXPECT_EQ(help.action, ServerOptions::Action::Help);
    for (const char* szOption : {"--port <PORT>", "--nick <NAME>", "--listen <ADDRESS>",
                                 "--send-picture", "--version", "--web <PORT>"}) {
        EXPECT_NE(help.szText.find(szOption), std::string::npos) << szOption;
    }
    const ServerOptions version = Parse({"-v"});
    EXPECT_EQ(version.action, ServerOptions::Action::Version);
    EXPECT_EQ(version.szText, std::string("zaplo-server ") + ZAPLO_VERSION + "\n");
}

TEST(ServerOptions, BadValuesFailWithTheReason) {
    struct Case {
        std::initializer_list<const char*> args;
        const char* szText;
    };
    for (const Case& c :
         {Case{{"--port", "0"}, "--port: the port must be a whole number from 1 to 32767"},
          Case{{"--port", "65535"}, "--port: the port must be a whole number from 1 to 32767"},
          Case{{"--nick", "seventeen_chars_x"},
               "--nick: the nickname must be at most 16 characters"},
          Case{{"--nick", "a\nb"}, "--nick: the nickname must not hold a line break"},
          Case{{"--listen", "example.org"}, "--listen: not an IP address: example.org"},
          Case{{"5201"}, "unexpected argument: 5201"},
          Case{{"--colour"}, "Unknown option 'colour'."},
          Case{{"--port"}, "Missing value after '--port'."},
          Case{{"--send-picture=yes"}, "Unexpected value after '--send-picture'."}}) {
        const ServerOptions options = Parse(c.args);
        EXPECT_EQ(options.action, ServerOptions::Action::Fail) << c.szText;
        EXPECT_EQ(options.szText, c.szText);
    }
}

TEST(ServerOptions, TlsFilesTogetherOrNotAtAll) {
    const std::string szFile = ::testing::TempDir() + "zaplo_server_tls.pem";
    std::FILE* file = std::fopen(szFile.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    const char* szPem = szFile.c_str();
    EXPECT_FALSE(Parse({}).bRequireTls);
    const ServerOptions options = Parse({"--tls-cert", szPem, "--require-tls", "--tls-key", szPem});
    ASSERT_EQ(options.action, ServerOptions::Action::Run) << options.szText;
    EXPECT_TRUE(options.bRequireTls);
    EXPECT_EQ(Parse({"--tls-key", szPem}).szText, "--tls-key needs --tls-cert");
    EXPECT_EQ(Parse({"--require-tls"}).szText, "--require-tls needs --tls-cert and --tls-key");
    EXPECT_EQ(Parse({"--tls-cert", szPem, "--tls-key", "/no/key.pem"}).szText,
              "--tls-key: cannot read /no/key.pem");
    std::remove(szPem);
}

TEST(ServerOptions, WebPortNeverTheSessionsOwn) {
    for (const char* szBad : {"0", "65536", "http", "-1", ""}) {
        const ServerOptions options = Parse({"--web", szBad});
        EXPECT_EQ(options.action, ServerOptions::Action::Fail) << szBad;
        EXPECT_EQ(options.szText, std::string("--web: not a port from 1 to 65535: ") + szBad);
    }
    const ServerOptions same = Parse({"--port", "5201", "--web", "5201"});
    EXPECT_EQ(same.action, ServerOptions::Action::Fail);
    EXPECT_EQ(same.szText, "--web: the session's own port cannot serve the page too");
}
