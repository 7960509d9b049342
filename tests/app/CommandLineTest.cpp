// SPDX-License-Identifier: MIT
// The program's command line as a plain class: what it starts, and what it refuses.
#include "app/CommandLine.h"
#include "base/AppState.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

using zaplo::CommandLine;

namespace {

CommandLine Parse(std::initializer_list<const char*> args) {
    QStringList arguments{QStringLiteral("/usr/bin/zaplo")};
    for (const char* szArg : args) {
        arguments << QString::fromUtf8(szArg);
    }
    return CommandLine::Parse(arguments);
}

} // namespace

TEST(CommandLine, NoOptionsStartsAsAlwaysAndTouchesNoSetting) {
    const CommandLine line = Parse({});
    EXPECT_EQ(line.action, CommandLine::Action::Start);
    zaplo::AppState state;
    state.nMode = zaplo::Mode::Client;
    state.nPort = 7;
    line.Apply(state);
    EXPECT_EQ(state.nMode, zaplo::Mode::Client);
    EXPECT_EQ(state.nPort, 7);
    EXPECT_EQ(state.szNick, "");
}

TEST(CommandLine, HostAndJoinFillTheSettingsAsTheDialogWould) {
    zaplo::AppState state;
    CommandLine line = Parse({"--host", "5201", "--nick", "alice"});
    ASSERT_EQ(line.action, CommandLine::Action::Host);
    line.Apply(state);
    EXPECT_EQ(state.nMode, zaplo::Mode::Server);
    EXPECT_EQ(state.nPort, 5201);
    EXPECT_EQ(state.szNick, "alice");
    EXPECT_EQ(state.szServerIP, "127.0.0.1");

    line = Parse({"--nick=b\xc3\xb6"
                  "b",
                  "--join", "[::1]:6000"});
    ASSERT_EQ(line.action, CommandLine::Action::Join);
    line.Apply(state);
    EXPECT_EQ(state.nMode, zaplo::Mode::Client);
    EXPECT_EQ(state.nPort, 6000);
    EXPECT_EQ(state.szNick, "b\xc3\xb6"
                            "b");
    EXPECT_EQ(state.szServerIP, "::1");

    // No nickname is an empty one, as an untouched nickname box; no port is the dialog's 201.
    line = Parse({"--join", "example.org"});
    line.Apply(state);
    EXPECT_EQ(state.szNick, "");
    EXPECT_EQ(state.szServerIP, "example.org");
    EXPECT_EQ(state.nPort, 201);
}

TEST(CommandLine, QtsOwnOptionsAreLeftToQt) {
    EXPECT_EQ(Parse({"-platform", "offscreen", "-reverse"}).action, CommandLine::Action::Start);
    const CommandLine line = Parse({"-style", "fusion", "--host", "5201", "-n", "ann"});
    EXPECT_EQ(line.action, CommandLine::Action::Host);
    EXPECT_EQ(line.nPort, 5201);
    EXPECT_EQ(line.szNick, "ann");
    EXPECT_EQ(Parse({"-platform"}).action, CommandLine::Action::Fail);
}

TEST(CommandLine, HelpAndVersionNameTheProgram) {
    const CommandLine help = Parse({"--help"});
    EXPECT_EQ(help.action, CommandLine::Action::Help);
    EXPECT_TRUE(help.szText.starts_with("Usage: zaplo [options]\n")) << help.szText;
    for (const char* szOption : {"--host <PORT>", "--join <HOST[:PORT]>", "--nick <NAME>"}) {
        EXPECT_NE(help.szText.find(szOption), std::string::npos) << szOption;
    }
    EXPECT_EQ(Parse({"-v"}).szText, "zaplo 1.0\n");
    EXPECT_EQ(Parse({"--version", "--host", "0"}).action, CommandLine::Action::Version);
}

TEST(CommandLine, MistakesFailWithOneLine) {
    struct Case {
        std::initializer_list<const char*> args;
        const char* szText;
    };
    for (const Case& c :
         {Case{{"--host", "0"}, "--host: the port must be a whole number from 1 to 32767"},
          Case{{"--host", "40000"}, "--host: the port must be a whole number from 1 to 32767"},
          Case{{"--host", "80abc"}, "--host: the port must be a whole number from 1 to 32767"},
          Case{{"--join", "h:-1"}, "--join: the port must be a whole number from 1 to 32767"},
          Case{{"--join", ""}, "--join: the address names no host"},
          Case{{"--host", "5201", "--nick", "seventeen_chars_x"},
               "--nick: the nickname must be at most 16 characters"},
          Case{{"--join", "h", "--nick", "a\r\nb"},
               "--nick: the nickname must not hold a line break"},
          Case{{"--host", "5201", "--join", "h"}, "--host and --join exclude each other"},
          Case{{"--nick", "ann"}, "--nick needs --host or --join"},
          Case{{"--host"}, "Missing value after '--host'."},
          Case{{"--colour"}, "Unknown option 'colour'."},
          Case{{"5201"}, "unexpected argument: 5201"}}) {
        const CommandLine line = Parse(c.args);
        EXPECT_EQ(line.action, CommandLine::Action::Fail) << c.szText;
        EXPECT_EQ(line.szText, c.szText);
        EXPECT_EQ(line.szText.find('\n'), std::string::npos);
    }
}

TEST(CommandLine, TlsOptionsGoWithTheirKindOfSession) {
    const std::string szFile = ::testing::TempDir() + "zaplo_cmdline_tls.pem";
    {
        std::FILE* file = std::fopen(szFile.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
    }
    zaplo::AppState state;
    CommandLine line = Parse({"--require-tls", "--host", "5201", "--tls-key", szFile.c_str(),
                              "--tls-cert", szFile.c_str()});
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
    const std::string szHex(64, 'a');
    line = Parse({"--join", "h", "--tls-fingerprint", szHex.c_str()});
    ASSERT_EQ(line.action, CommandLine::Action::Join) << line.szText;
    line.Apply(state);
    EXPECT_TRUE(state.bTls);
    EXPECT_EQ(state.szTlsFingerprint.size(), std::size_t{32 * 3 - 1});
    EXPECT_TRUE(state.szTlsFingerprint.starts_with("AA:AA:"));

    // Nothing asked: plain, whatever an earlier session had.
    Parse({"--join", "h"}).Apply(state);
    EXPECT_FALSE(state.bTls);
    EXPECT_EQ(state.szTlsFingerprint, "");

    struct Case {
        std::vector<std::string> args;
        std::string szText;
    };
    for (const Case& c :
         {Case{{"--host", "5201", "--tls"}, "--tls and --tls-fingerprint need --join"},
          Case{{"--join", "h", "--tls-cert", szFile, "--tls-key", szFile},
               "--tls-cert, --tls-key and --require-tls need --host"},
          Case{{"--host", "5201", "--tls-cert", szFile}, "--tls-cert needs --tls-key"},
          Case{{"--host", "5201", "--require-tls"}, "--require-tls needs --tls-cert and --tls-key"},
          Case{{"--host", "5201", "--tls-cert", "/no/such.pem", "--tls-key", szFile},
               "--tls-cert: cannot read /no/such.pem"},
          Case{{"--join", "h", "--tls-fingerprint", "AB:CD"},
               "--tls-fingerprint: not a SHA-256 fingerprint (64 hex digits, colons optional)"},
          Case{{"--join", "h", "--tls-fingerprint", szHex + "0"},
               "--tls-fingerprint: not a SHA-256 fingerprint (64 hex digits, colons optional)"},
          Case{{"--tls"}, "--tls needs --host or --join"}}) {
        QStringList arguments{QStringLiteral("zaplo")};
        for (const std::string& szArg : c.args) {
            arguments << QString::fromStdString(szArg);
        }
        const CommandLine failed = CommandLine::Parse(arguments);
        EXPECT_EQ(failed.action, CommandLine::Action::Fail) << c.szText;
        EXPECT_EQ(failed.szText, c.szText);
    }
    std::remove(szFile.c_str());
}

TEST(CommandLine, PasswordFileAndUserLimitGoWithTheirKindOfSession) {
    const std::string szDir = ::testing::TempDir();
    const auto write = [&](const char* szName, const std::string& szBytes) {
        const std::string szPath = szDir + szName;
        std::FILE* file = std::fopen(szPath.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file != nullptr) {
            std::fwrite(szBytes.data(), 1, szBytes.size(), file);
            std::fclose(file);
        }
        return szPath;
    };
    // The first line without its line end (LF or CR LF); spaces and later lines as they are.
    const std::string szUnix = write("zaplo_pw_unix", " s3cret \nsecond line\n");
    const std::string szDos = write("zaplo_pw_dos", "dos\r\n");
    const std::string szBare = write("zaplo_pw_bare", "bare");
    const std::string szLongest = write("zaplo_pw_longest", std::string(1024, 'x') + "\r\n");
    zaplo::AppState state;
    CommandLine line =
        Parse({"--host", "5201", "--password-file", szUnix.c_str(), "--max-users", "30"});
    ASSERT_EQ(line.action, CommandLine::Action::Host) << line.szText;
    line.Apply(state);
    EXPECT_EQ(state.szSessionPassword, std::optional<std::string>(" s3cret "));
    EXPECT_EQ(state.nMaxUsers, 30);
    EXPECT_EQ(Parse({"--host", "5201", "--max-users", "0"}).nMaxUsers, 0); // no limit
    const std::string szJoined = "--password-file=" + szDos;
    line = Parse({szJoined.c_str(), "--join", "h"});
    ASSERT_EQ(line.action, CommandLine::Action::Join) << line.szText;
    line.Apply(state);
    EXPECT_EQ(state.szSessionPassword, std::optional<std::string>("dos"));
    EXPECT_EQ(state.nMaxUsers, 0) << "a join sets no limit, whatever a session before had";
    EXPECT_EQ(Parse({"--join", "h", "--password-file", szBare.c_str()}).szSessionPassword,
              std::optional<std::string>("bare"));
    EXPECT_EQ(Parse({"--join", "h", "--password-file", szLongest.c_str()}).szSessionPassword,
              std::optional<std::string>(std::string(1024, 'x')));
    // Without the option: no password, even when an earlier session had one.
    Parse({"--host", "5201"}).Apply(state);
    EXPECT_EQ(state.szSessionPassword, std::nullopt);

    const std::string szEmpty = write("zaplo_pw_empty", "");
    const std::string szBlank = write("zaplo_pw_blank", "\r\nlater\n");
    const std::string szTooLong = write("zaplo_pw_long", std::string(1025, 'x') + "\n");
    struct Case {
        std::vector<std::string> args;
        std::string szText;
    };
    for (const Case& c :
         {Case{{"--host", "5201", "--password-file", szEmpty},
               "--password-file: " + szEmpty + ": the first line, the password, is empty"},
          Case{{"--join", "h", "--password-file", szBlank},
               "--password-file: " + szBlank + ": the first line, the password, is empty"},
          Case{{"--join", "h", "--password-file", szTooLong},
               "--password-file: " + szTooLong + ": the password is longer than 1024 bytes"},
          Case{{"--join", "h", "--password-file", szDir + "zaplo_pw_missing"},
               "--password-file: cannot read " + szDir +
                   "zaplo_pw_missing: No such file or "
                   "directory"},
          Case{{"--password-file", szUnix}, "--password-file needs --host or --join"},
          Case{{"--max-users", "3"}, "--max-users needs --host or --join"},
          Case{{"--join", "h", "--max-users", "3"}, "--max-users needs --host"},
          Case{{"--host", "5201", "--max-users", "-1"},
               "--max-users: must be a whole number from 0 (no limit) to 32767"},
          Case{{"--host", "5201", "--max-users", "32768"},
               "--max-users: must be a whole number from 0 (no limit) to 32767"},
          Case{{"--host", "5201", "--max-users", "+5"},
               "--max-users: must be a whole number from 0 (no limit) to 32767"},
          Case{{"--host", "5201", "--max-users", "5x"},
               "--max-users: must be a whole number from 0 (no limit) to 32767"}}) {
        QStringList arguments{QStringLiteral("zaplo")};
        for (const std::string& szArg : c.args) {
            arguments << QString::fromStdString(szArg);
        }
        const CommandLine failed = CommandLine::Parse(arguments);
        EXPECT_EQ(failed.action, CommandLine::Action::Fail) << c.szText;
        EXPECT_EQ(failed.szText, c.szText);
        EXPECT_FALSE(failed.szSessionPassword.has_value());
    }
    // The help names both options.
    const std::string szHelp = Parse({"--help"}).szText;
    EXPECT_NE(szHelp.find("--password-file <FILE>"), std::string::npos);
    EXPECT_NE(szHelp.find("--max-users <N>"), std::string::npos);
    for (const std::string& szPath :
         {szUnix, szDos, szBare, szLongest, szEmpty, szBlank, szTooLong}) {
        std::remove(szPath.c_str());
    }
}
