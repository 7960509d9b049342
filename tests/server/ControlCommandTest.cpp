// SPDX-License-Identifier: MIT
// The control command's request lines and what each does to a session, without sockets; the
// password and ban files, and the options that take them.
#include "server/ControlCommand.h"
#include "server/BanFile.h"
#include "server/ControlTarget.h"
#include "server/PasswordFile.h"
#include "server/ServerOptions.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using zaplo::BanFile;
using zaplo::ControlCommand;
using zaplo::ControlTarget;
using zaplo::PasswordFile;
using zaplo::ServerOptions;

namespace {

// A session as the commands see it; keeps what was done to it.
class FakeTarget : public ControlTarget {
public:
    std::vector<User> Users() const override { return users; }
    void Disconnect(int16_t iSlot) override { done.push_back("disconnect " + Slot(iSlot)); }
    bool Ban(int16_t iSlot) override {
        done.push_back("ban " + Slot(iSlot));
        return std::any_of(users.begin(), users.end(),
                           [iSlot](const User& user) { return user.iSlot == iSlot; }) &&
               iSlot != iGone;
    }
    std::vector<std::string> Bans() const override { return bans; }
    bool Unban(const std::string& szAddress) override {
        const auto it = std::find(bans.begin(), bans.end(), szAddress);
        if (it == bans.end()) {
            return false;
        }
        bans.erase(it);
        return true;
    }
    void Clear() override { done.emplace_back("clear"); }
    void Say(const std::string& szText) override { done.push_back("say " + szText); }
    void SetPassword(std::optional<std::string> szPassword) override {
        done.push_back(szPassword ? "password " + *szPassword : "no password");
    }
    bool SetPicture(bool bOn) override {
        done.push_back(bOn ? "picture on" : "picture off");
        return bPictureWorks;
    }

    static std::string Slot(int16_t iSlot) { return "#" + std::to_string(iSlot); }

    std::vector<User> users{{1, "ann", "192.0.2.7"},
                            {2, "bob smith", "2001:db8:1:2::/64"},
                            {3, "ann", "198.51.100.1"},
                            {5, "#3", "203.0.113.9"}};
    std::vector<std::string> bans{"10.0.0.0/8", "2001:db8:9::/48"};
    std::vector<std::string> done;
    int16_t iGone = -1;
    bool bPictureWorks = true;
};

ControlCommand Parsed(std::string_view szLine) {
    std::string szError;
    const std::optional<ControlCommand> command = ControlCommand::Parse(szLine, szError);
    EXPECT_TRUE(command) << szLine << ": " << szError;
    return command.value_or(ControlCommand{});
}

std::string ParseError(std::string_view szLine) {
    std::string szError;
    EXPECT_FALSE(ControlCommand::Parse(szLine, szError)) << szLine;
    return szError;
}

ControlCommand::Reply RunOn(FakeTarget& target, std::string_view szLine) {
    return Parsed(szLine).Run(target);
}

std::string TempFile(const std::string& szName, const std::string& szContent) {
    const std::string szPath = ::testing::TempDir() + szName;
    std::FILE* file = std::fopen(szPath.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    std::fwrite(szContent.data(), 1, szContent.size(), file);
    std::fclose(file);
    return szPath;
}

} // namespace

TEST(ControlCommand, EveryVerbParsesAndWritesTheSameLineBack) {
    struct Case {
        const char* szLine;
        ControlCommand::Verb verb;
        const char* szArgument;
        bool bOn;
    };
    using V = ControlCommand::Verb;
    for (const Case& c :
         {Case{"who", V::Who, "", false}, Case{"disconnect ann", V::Disconnect, "ann", false},
          Case{"disconnect bob smith", V::Disconnect, "bob smith", false},
          Case{"disconnect ", V::Disconnect, "", false}, // an empty nickname
          Case{"ban #3", V::Ban, "#3", false}, Case{"bans", V::Bans, "", false},
          Case{"unban 10.0.0.0/8", V::Unban, "10.0.0.0/8", false},
          Case{"clear", V::Clear, "", false},
          Case{"say  hello;{x}} ", V::Say, " hello;{x}} ", false}, Case{"say ", V::Say, "", false},
          Case{"password set s3cret word", V::Password, "s3cret word", true},
          Case{"password set off", V::Password, "off", true},
          Case{"password off", V::Password, "", false}, Case{"picture on", V::Picture, "", true},
          Case{"picture off", V::Picture, "", false}}) {
        const ControlCommand command = Parsed(c.szLine);
        EXPECT_EQ(command.verb, c.verb) << c.szLine;
        EXPECT_EQ(command.szArgument, c.szArgument) << c.szLine;
        EXPECT_EQ(command.bOn, c.bOn) << c.szLine;
        EXPECT_EQ(command.Line(), c.szLine);
    }
}

TEST(ControlCommand, MalformedRequestsAreRefusedWithTheReason) {
    EXPECT_EQ(ParseError(""),
              "no command given (who, disconnect, ban, bans, unban, clear, say, password, "
              "picture)");
    EXPECT_EQ(ParseError("WHO"), "unknown command: WHO (who, disconnect, ban, bans, unban, clear, "
                                 "say, password, picture)");
    EXPECT_EQ(ParseError("who "), "who takes nothing after it");
    EXPECT_EQ(ParseError("disconnect"), "disconnect needs a name (or #SLOT, as who shows it)");
    EXPECT_EQ(ParseError("unban "), "unban needs an address or prefix, as bans shows it");
    EXPECT_EQ(ParseError("say"), "say needs a text");
    EXPECT_EQ(ParseError("password"), "password needs a password file or off");
    EXPECT_EQ(ParseError("password set "), "password needs a password file or off");
    EXPECT_EQ(ParseError("password /etc/pw"), "password needs a password file or off");
    EXPECT_EQ(ParseError("picture yes"), "picture needs on or off");
    EXPECT_EQ(ParseError("picture"), "picture needs on or off");
    // The bound holds whatever the verb.
    EXPECT_TRUE(ControlCommand::Parse("say " + std::string(ControlCommand::kMaxLine - 6, 'x'),
                                      *std::make_unique<std::string>()));
    EXPECT_EQ(ParseError("say " + std::string(ControlCommand::kMaxLine - 4, 'x')),
              "the request is longer than 4095 bytes");
}

TEST(ControlCommand, CommandLineWordsAndThePasswordFileReadOnTheCallersSide) {
    std::vector<std::string> read;
    const ControlCommand::ReadPassword readPassword = [&](const std::string& szPath,
                                                          std::string& szError) {
        read.push_back(szPath);
        if (szPath == "missing") {
            szError = "cannot read missing";
            return std::optional<std::string>();
        }
        return std::optional<std::string>("pw of " + szPath);
    };
    std::string szError;
    std::optional<ControlCommand> command =
        ControlCommand::FromArguments({"say", "hello", "there"}, readPassword, szError);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->Line(), "say hello there");
    command = ControlCommand::FromArguments({"password", "/etc/zaplo/pw"}, readPassword, szError);
    ASSERT_TRUE(command);
    // Only the secret goes to the server.
    EXPECT_EQ(command->Line(), "password set pw of /etc/zaplo/pw");
    command = ControlCommand::FromArguments({"password", "off"}, readPassword, szError);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->Line(), "password off");
    EXPECT_EQ(read, (std::vector<std::string>{"/etc/zaplo/pw"}));

    EXPECT_FALSE(ControlCommand::FromArguments({"password", "missing"}, readPassword, szError));
    EXPECT_EQ(szError, "cannot read missing");
    // A secret is never taken from the command line, where every user's ps shows it.
    EXPECT_FALSE(ControlCommand::FromArguments({"password", "set", "x"}, readPassword, szError));
    EXPECT_EQ(szError, "password needs a password file or off");
    EXPECT_FALSE(ControlCommand::FromArguments({}, readPassword, szError));
    EXPECT_FALSE(ControlCommand::FromArguments({"who", "else"}, readPassword, szError));
    EXPECT_EQ(szError, "who takes nothing after it");
}

TEST(ControlCommand, UsersAreNamedByNicknameOrBySlotAndNeverGuessed) {
    FakeTarget target;
    ControlCommand::Reply reply = RunOn(target, "who");
    ASSERT_TRUE(reply.bOk);
    EXPECT_EQ(reply.lines,
              (std::vector<std::string>{"#1 192.0.2.7 ann", "#2 2001:db8:1:2::/64 bob smith",
                                        "#3 198.51.100.1 ann", "#5 203.0.113.9 #3"}));

    reply = RunOn(target, "disconnect bob smith");
    EXPECT_TRUE(reply.bOk);
    EXPECT_EQ(reply.lines,
              (std::vector<std::string>{"disconnected bob smith (#2, 2001:db8:1:2::/64)"}));
    // Two of that name: neither is touched.
    reply = RunOn(target, "disconnect ann");
    EXPECT_FALSE(reply.bOk);
    EXPECT_EQ(reply.szError, "2 users are called ann (#1, #3): name one as #SLOT");
    // Somebody is called "#3": the name goes before the slot.
    reply = RunOn(target, "disconnect #3");
    EXPECT_EQ(reply.lines, (std::vector<std::string>{"disconnected #3 (#5, 203.0.113.9)"}));
    reply = RunOn(target, "disconnect #1");
    EXPECT_EQ(reply.lines, (std::vector<std::string>{"disconnected ann (#1, 192.0.2.7)"}));
    for (const char* szName : {"#4", "#", "#1x", "#-1", "nobody", ""}) {
        reply = RunOn(target, std::string("disconnect ") + szName);
        EXPECT_FALSE(reply.bOk) << szName;
        EXPECT_EQ(reply.szError,
                  "nobody called " + std::string(szName) + " has joined (who lists them)");
    }
    EXPECT_EQ(target.done,
              (std::vector<std::string>{"disconnect #2", "disconnect #5", "disconnect #1"}));
}

TEST(ControlCommand, BanUnbanAndTheSessionWideCommands) {
    FakeTarget target;
    ControlCommand::Reply reply = RunOn(target, "ban #2");
    EXPECT_EQ(reply.lines, (std::vector<std::string>{
                               "banned 2001:db8:1:2::/64: bob smith (#2, 2001:db8:1:2::/64) "
                               "disconnected"}));
    // Gone between the look and the ban.
    target.iGone = 1;
    reply = RunOn(target, "ban #1");
    EXPECT_FALSE(reply.bOk);
    EXPECT_EQ(reply.szError, "ann has left already");
    EXPECT_EQ(RunOn(target, "bans").lines, target.bans);
    reply = RunOn(target, "unban 10.0.0.0/8");
    EXPECT_EQ(reply.lines, (std::vector<std::string>{"unbanned 10.0.0.0/8"}));
    EXPECT_EQ(RunOn(target, "bans").lines, (std::vector<std::string>{"2001:db8:9::/48"}));
    reply = RunOn(target, "unban 10.0.0.0/8");
    EXPECT_FALSE(reply.bOk);
    EXPECT_EQ(reply.szError, "no ban for 10.0.0.0/8 (bans lists them)");

    EXPECT_TRUE(RunOn(target, "clear").bOk);
    EXPECT_TRUE(RunOn(target, "say hi all").bOk);
    EXPECT_TRUE(RunOn(target, "password set pw 1").bOk);
    EXPECT_TRUE(RunOn(target, "password off").bOk);
    EXPECT_EQ(RunOn(target, "picture on").lines,
              (std::vector<std::string>{"picture on: newcomers get the canvas"}));
    target.bPictureWorks = false;
    reply = RunOn(target, "picture on");
    EXPECT_FALSE(reply.bOk);
    EXPECT_EQ(reply.szError, "the picture cannot be kept");
    EXPECT_EQ(target.done,
              (std::vector<std::string>{"ban #2", "ban #1", "clear", "say hi all", "password pw 1",
                                        "no password", "picture on", "picture on"}));
    target.users.clear();
    reply = RunOn(target, "who");
    EXPECT_TRUE(reply.bOk);
    EXPECT_TRUE(reply.lines.empty());
}

TEST(PasswordFile, TheFirstLineWithoutItsLineEnd) {
    std::string szError;
    EXPECT_EQ(PasswordFile::Read(TempFile("pw_lf", "open sesame\nsecond\n"), szError),
              "open sesame");
    EXPECT_EQ(PasswordFile::Read(TempFile("pw_crlf", "x y\r\n"), szError), "x y");
    EXPECT_EQ(PasswordFile::Read(TempFile("pw_bare", "bare"), szError), "bare");
    const std::string szLongest(PasswordFile::kMaxBytes, 'p');
    EXPECT_EQ(PasswordFile::Read(TempFile("pw_max", szLongest + "\r\n"), szError), szLongest);

    const std::string szEmpty = TempFile("pw_empty", "");
    EXPECT_FALSE(PasswordFile::Read(szEmpty, szError));
    EXPECT_EQ(szError, szEmpty + ": the first line, the password, is empty");
    EXPECT_FALSE(PasswordFile::Read(TempFile("pw_nl", "\nlater\n"), szError));
    const std::string szLong = TempFile("pw_long", szLongest + "q\n");
    EXPECT_FALSE(PasswordFile::Read(szLong, szError));
    EXPECT_EQ(szError, szLong + ": the password is longer than 1024 bytes");
    EXPECT_FALSE(PasswordFile::Read("/no/such/pw", szError));
    EXPECT_EQ(szError, "cannot read /no/such/pw: No such file or directory");
}

TEST(BanFile, EntriesWithTheirLineNumbersAndTheRefusedNamed) {
    const std::string szPath =
        TempFile("bans", "# refused\n192.0.2.7\n\n  10.0.0.0/8  # a school\r\nbad\x1b[2J\n"
                         "2001:db8:1:2::/64");
    std::string szError;
    const std::optional<std::vector<BanFile::Entry>> entries = BanFile::Read(szPath, szError);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 4U);
    EXPECT_EQ((*entries)[0].nLine, 2);
    EXPECT_EQ((*entries)[1].szText, "10.0.0.0/8");
    EXPECT_EQ((*entries)[1].nLine, 4);
    EXPECT_EQ((*entries)[3].szText, "2001:db8:1:2::/64");
    EXPECT_EQ((*entries)[3].nLine, 6);
    std::vector<std::string> added;
    const std::vector<std::string> refused =
        BanFile::Apply(*entries, "bans", [&](const std::string& szBan) {
            added.push_back(szBan);
            return szBan.find("bad") == std::string::npos;
        });
    EXPECT_EQ(added.size(), 4U);
    // The bad line is shown printable, not as the escape it holds.
    EXPECT_EQ(refused, (std::vector<std::string>{
                           "bans line 5: not an address or prefix: bad\xef\xbf\xbd[2J"}));
    EXPECT_FALSE(BanFile::Read("/no/such/bans", szError));
}

namespace {

ServerOptions ParseOptions(std::initializer_list<std::string> args) {
    QStringList arguments{QStringLiteral("zaplo-server")};
    for (const std::string& szArg : args) {
        arguments << QString::fromStdString(szArg);
    }
    return ServerOptions::Parse(arguments);
}

} // namespace

// What the options hold once parsed is seen end to end in tst_ServerControl; here the refusals.
TEST(ServerOptions, WhoMayJoinLimitsAndFilesAreChecked) {
    for (const char* szCount : {"-1", "32768", "", "1e3", "x", " 5"}) {
        const ServerOptions options = ParseOptions({"--max-users", szCount});
        EXPECT_EQ(options.action, ServerOptions::Action::Fail) << szCount;
        EXPECT_EQ(options.szText, "--max-users: must be a whole number from 0 (no limit) to 32767");
    }
    EXPECT_EQ(ParseOptions({"--max-per-address", "65536"}).szText,
              "--max-per-address: must be a whole number from 0 (no limit) to 32767");
    // 0 is no limit, and the default lets a class behind one address in.
    EXPECT_EQ(ParseOptions({"--max-per-address", "0"}).nMaxPerAddress, 0);
    EXPECT_EQ(ParseOptions({}).nMaxPerAddress, 64);
    EXPECT_EQ(ParseOptions({"--password-file", TempFile("opt_empty", "")}).action,
              ServerOptions::Action::Fail);
    EXPECT_EQ(ParseOptions({"--ban-file", "/no/bans"}).szText,
              "--ban-file: cannot read /no/bans: No such file or directory");
}

TEST(ServerOptions, ControlTakesTheCommandsWords) {
    const ServerOptions options =
        ParseOptions({"--control-socket", "/run/z/c", "--control", "--", "ban", "-x-"});
    EXPECT_EQ(options.action, ServerOptions::Action::Control);
    EXPECT_EQ(options.szControlSocket, "/run/z/c");
    EXPECT_EQ(options.control, (std::vector<std::string>{"ban", "-x-"}));
    // Without --control words are still an error.
    EXPECT_EQ(ParseOptions({"who"}).szText, "unexpected argument: who");
}
