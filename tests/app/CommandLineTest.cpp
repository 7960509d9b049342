// SPDX-License-Identifier: MIT
// The program's command line as a plain class: what it starts, and what it refuses.
#include "app/CommandLine.h"
#include "base/AppState.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using zaplo::CommandLine;

namespace {

CommandLine Parse(const std::vector<std::string>& args) {
    QStringList arguments{QStringLiteral("/usr/bin/zaplo")};
    for (const std::string& szArg : args) {
        arguments << QString::fromStdString(szArg);
    }
    return CommandLine::Parse(arguments);
}

// What a session is started as: mode, port, nickname, host.
using Where = std::tuple<zaplo::Mode, int, std::string, std::string>;
Where Of(const zaplo::AppState& state) {
    return {state.nMode, state.nPort, state.szNick, state.szServerIP};
}

// A file in the test's temporary folder holding szBytes; its path.
std::string Write(const char* szName, const std::string& szBytes) {
    const std::string szPath = ::testing::TempDir() + szName;
    std::FILE* file = std::fopen(szPath.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file != nullptr) {
        std::fwrite(szBytes.data(), 1, szBytes.size(), file);
        std::fclose(file);
    }
    return szPath;
}

} // namespace

TEST(CommandLine, NoOptionsStartsAsAlwaysAndTouchesNoSetting) {
    const CommandLine line = Parse({});
    EXPECT_EQ(line.action, CommandLine::Action::Start);
    zaplo::AppState state;
    state.nMode = zaplo::Mode::Client;
    state.nPort = 7;
    line.Apply(state);
    EXPECT_EQ(Of(state), (Where{zaplo::Mode::Client, 7, "", ""}));
}

TEST(CommandLine, HostAndJoinFillTheSettingsAsTheDialogWould) {
    zaplo::AppState state;
    CommandLine line = Parse({"--host", "5201", "--nick", "alice"});
    ASSERT_EQ(line.action, CommandLine::Action::Host);
    line.Apply(state);
    EXPECT_EQ(Of(state), (Where{zaplo::Mode::Server, 5201, "alice", "127.0.0.1"}));

    line = Parse({"--nick=b\xc3\xb6"
                  "b",
                  "--join", "[::1]:6000"});
    ASSERT_EQ(line.action, CommandLine::Action::Join);
    line.Apply(state);
    EXPECT_EQ(Of(state), (Where{zaplo::Mode::Client, 6000,
                                "b\xc3\xb6"
                                "b",
                                "::1"}));

    // No nickname is an empty one, as an untouched nickname box; no port is the dialog's 201.
    Parse({"--join", "example.org"}).Apply(state);
    EXPECT_EQ(Of(state), (Where{zaplo::Mode::Client, 201, "", "example.org"}));
}

TEST(CommandLine, QtsOwnOptionsAreLeftToQt) {
    EXPECT_EQ(Parse({"-platform", "offscreen", "-reverse"}).action, CommandLine::Action::Start);
    const CommandLine line = Parse({"-style", "fusion", "--host", "5201", "-n", "ann"});
    EXPECT_EQ(line.action, CommandLine::Action::Host);
    EXPECT_EQ(line.szNick, "ann");
    EXPECT_EQ(Parse({"-platform"}).action, CommandLine::Action::Fail);
}

TEST(CommandLine, HelpAndVersionNameTheProgram) {
    const CommandLine help = Parse({"--help"});
    EXPECT_EQ(help.action, CommandLine::Action::Help);
    EXPECT_TRUE(help.szText.starts_with("Usage: zaplo [options]\n")) << help.szText;
    for (const char* szOption : {"--host <PORT>", "--join <HOST[:PORT]>", "--nick <NAME>",
                                 "--password-file <FILE>", "--max-users <N>"}) {
        EXPECT_NE(help.szText.find(szOption), std::string::npos) << szOption;
    }
    EXPECT_EQ(Parse({"-v"}).szText, "zaplo 1.0\n");
    EXPECT_EQ(Parse({"--version", "--host", "0"}).action, CommandLine::Action::Version);
}

TEST(CommandLine, TlsOptionsGoWithTheirKindOfSession) {
    const std::string szFile = Write("zaplo_cmdline_tls.pem", "");
    zaplo::AppState state;
    CommandLine line =
        Parse({"--require-tls", "--host", "5201", "--tls-key", szFile, "--tls-cert", szFile});
    ASSERT_EQ(line.action, CommandLine::Action::Host) << line.szText;
    line.Apply(state);
    EXPECT_EQ(state.szTlsCert, szFile);
    EXPECT_EQ(state.szTlsKey, szFile);
    EXPECT_TRUE(state.bRequireTls);
    EXPECT_FALSE(state.bTls);

    // The flag in any place; a pinned fingerprint is read in any case, with or without colons,
    // and means TLS.
    line = Parse({"--tls", "--join", "example.org:5201", "--nick", "bob"});
    ASSERT_EQ(line.action, CommandLine::Action::Join) << line.szText;
    line.Apply(state);
    EXPECT_TRUE(state.bTls);
    EXPECT_EQ(state.szTlsFingerprint, "");
    EXPECT_EQ(state.szTlsCert, "") << "a join carries no server certificate";
    line = Parse({"--join", "h", "--tls-fingerprint", std::string(64, 'a')});
    ASSERT_EQ(line.action, CommandLine::Action::Join) << line.szText;
    line.Apply(state);
    EXPECT_TRUE(state.bTls);
    EXPECT_EQ(state.szTlsFingerprint.size(), std::size_t{32 * 3 - 1});
    EXPECT_TRUE(state.szTlsFingerprint.starts_with("AA:AA:"));

    // Nothing asked: plain, whatever an earlier session had.
    Parse({"--join", "h"}).Apply(state);
    EXPECT_FALSE(state.bTls);
    EXPECT_EQ(state.szTlsFingerprint, "");
    std::remove(szFile.c_str());
}

TEST(CommandLine, PasswordFileAndUserLimitGoWithTheirKindOfSession) {
    // The first line without its line end (LF or CR LF); spaces and later lines as they are.
    const std::string szUnix = Write("zaplo_pw_unix", " s3cret \nsecond line\n");
    const std::string szDos = Write("zaplo_pw_dos", "dos\r\n");
    const std::string szBare = Write("zaplo_pw_bare", "bare");
    const std::string szLongest = Write("zaplo_pw_longest", std::string(1024, 'x') + "\r\n");
    zaplo::AppState state;
    CommandLine line = Parse({"--host", "5201", "--password-file", szUnix, "--max-users", "30"});
    ASSERT_EQ(line.action, CommandLine::Action::Host) << line.szText;
    line.Apply(state);
    EXPECT_EQ(state.szSessionPassword, std::optional<std::string>(" s3cret "));
    EXPECT_EQ(state.nMaxUsers, 30);
    EXPECT_EQ(Parse({"--host", "5201", "--max-users", "0"}).nMaxUsers, 0); // no limit
    line = Parse({"--password-file=" + szDos, "--join", "h"});
    ASSERT_EQ(line.action, CommandLine::Action::Join) << line.szText;
    line.Apply(state);
    EXPECT_EQ(state.szSessionPassword, std::optional<std::string>("dos"));
    EXPECT_EQ(state.nMaxUsers, 0) << "a join sets no limit, whatever a session before had";
    EXPECT_EQ(Parse({"--join", "h", "--password-file", szBare}).szSessionPassword,
              std::optional<std::string>("bare"));
    EXPECT_EQ(Parse({"--join", "h", "--password-file", szLongest}).szSessionPassword,
              std::optional<std::string>(std::string(1024, 'x')));
    // Without the option: no password, even when an earlier session had one.
    Parse({"--host", "5201"}).Apply(state);
    EXPECT_EQ(state.szSessionPassword, std::nullopt);
    for (const std::string& szPath : {szUnix, szDos, szBare, szLongest}) {
        std::remove(szPath.c_str());
    }
}

// Every mistake fails with its own single line, and no password comes of it.
TEST(CommandLine, MistakesFailWithOneLine) {
    const std::string szDir = ::testing::TempDir();
    const std::string szFile = Write("zaplo_cmdline_tls.pem", "");
    const std::string szHex(64, 'a');
    const std::string szAny = Write("zaplo_pw_any", "any\n");
    const std::string szEmpty = Write("zaplo_pw_empty", "");
    const std::string szBlank = Write("zaplo_pw_blank", "\r\nlater\n");
    const std::string szTooLong = Write("zaplo_pw_long", std::string(1025, 'x') + "\n");
    const std::string szPort = "the port must be a whole number from 1 to 32767";
    const std::string szUsers = "--max-users: must be a whole number from 0 (no limit) to 32767";
    const std::string szPrint =
        "--tls-fingerprint: not a SHA-256 fingerprint (64 hex digits, colons optional)";
    struct Case {
        std::vector<std::string> args;
        std::string szText;
    };
    for (const Case& c :
         {Case{{"--host", "0"}, "--host: " + szPort},
          Case{{"--host", "40000"}, "--host: " + szPort},
          Case{{"--host", "80abc"}, "--host: " + szPort},
          Case{{"--join", "h:-1"}, "--join: " + szPort},
          Case{{"--join", ""}, "--join: the address names no host"},
          Case{{"--host", "5201", "--nick", "seventeen_chars_x"},
               "--nick: the nickname must be at most 16 characters"},
          Case{{"--join", "h", "--nick", "a\r\nb"},
               "--nick: the nickname must not hold a line break"},
          Case{{"--host", "5201", "--join", "h"}, "--host and --join exclude each other"},
          Case{{"--nick", "ann"}, "--nick needs --host or --join"},
          Case{{"--host"}, "Missing value after '--host'."},
          Case{{"--colour"}, "Unknown option 'colour'."},
          Case{{"5201"}, "unexpected argument: 5201"},
          Case{{"--host", "5201", "--tls"}, "--tls and --tls-fingerprint need --join"},
          Case{{"--join", "h", "--tls-cert", szFile, "--tls-key", szFile},
               "--tls-cert, --tls-key and --require-tls need --host"},
          Case{{"--host", "5201", "--tls-cert", szFile}, "--tls-cert needs --tls-key"},
          Case{{"--host", "5201", "--require-tls"}, "--require-tls needs --tls-cert and --tls-key"},
          Case{{"--host", "5201", "--tls-cert", "/no/such.pem", "--tls-key", szFile},
               "--tls-cert: cannot read /no/such.pem"},
          Case{{"--join", "h", "--tls-fingerprint", "AB:CD"}, szPrint},
          Case{{"--join", "h", "--tls-fingerprint", szHex + "0"}, szPrint},
          Case{{"--tls"}, "--tls needs --host or --join"},
          Case{{"--host", "5201", "--password-file", szEmpty},
               "--password-file: " + szEmpty + ": the first line, the password, is empty"},
          Case{{"--join", "h", "--password-file", szBlank},
               "--password-file: " + szBlank + ": the first line, the password, is empty"},
          Case{{"--join", "h", "--password-file", szTooLong},
               "--password-file: " + szTooLong + ": the password is longer than 1024 bytes"},
          Case{{"--join", "h", "--password-file", szDir + "zaplo_pw_missing"},
               "--password-file: cannot read " + szDir +
                   "zaplo_pw_missing: No such file or directory"},
          Case{{"--password-file", szAny}, "--password-file needs --host or --join"},
          Case{{"--max-users", "3"}, "--max-users needs --host or --join"},
          Case{{"--join", "h", "--max-users", "3"}, "--max-users needs --host"},
          Case{{"--host", "5201", "--max-users", "-1"}, szUsers},
          Case{{"--host", "5201", "--max-users", "32768"}, szUsers},
          Case{{"--host", "5201", "--max-users", "+5"}, szUsers},
          Case{{"--host", "5201", "--max-users", "5x"}, szUsers}}) {
        const CommandLine line = Parse(c.args);
        EXPECT_EQ(line.action, CommandLine::Action::Fail) << c.szText;
        EXPECT_EQ(line.szText, c.szText);
        EXPECT_EQ(line.szText.find('\n'), std::string::npos);
        EXPECT_FALSE(line.szSessionPassword.has_value());
    }
    for (const std::string& szPath : {szFile, szAny, szEmpty, szBlank, szTooLong}) {
        std::remove(szPath.c_str());
    }
}
