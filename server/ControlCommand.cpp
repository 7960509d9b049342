// SPDX-License-Identifier: MIT
#include "server/ControlCommand.h"

#include "server/ControlTarget.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace zaplo {

namespace {

// What follows a verb.
enum class Takes { Nothing, Name, Address, Text, Password, OnOff };

struct VerbInfo {
    std::string_view szName;
    ControlCommand::Verb verb;
    Takes takes;
};

constexpr std::array<VerbInfo, 9> kVerbs{{
    {"who", ControlCommand::Verb::Who, Takes::Nothing},
    {"disconnect", ControlCommand::Verb::Disconnect, Takes::Name},
    {"ban", ControlCommand::Verb::Ban, Takes::Name},
    {"bans", ControlCommand::Verb::Bans, Takes::Nothing},
    {"unban", ControlCommand::Verb::Unban, Takes::Address},
    {"clear", ControlCommand::Verb::Clear, Takes::Nothing},
    {"say", ControlCommand::Verb::Say, Takes::Text},
    {"password", ControlCommand::Verb::Password, Takes::Password},
    {"picture", ControlCommand::Verb::Picture, Takes::OnOff},
}};

constexpr std::string_view kVerbList =
    "who, disconnect, ban, bans, unban, clear, say, password, picture";

const VerbInfo& InfoOf(ControlCommand::Verb verb) {
    return *std::find_if(kVerbs.begin(), kVerbs.end(),
                         [verb](const VerbInfo& info) { return info.verb == verb; });
}

std::string Slots(const std::vector<ControlTarget::User>& users) {
    std::string szSlots;
    for (const ControlTarget::User& user : users) {
        szSlots += (szSlots.empty() ? "#" : ", #") + std::to_string(user.iSlot);
    }
    return szSlots;
}

ControlCommand::Reply Failed(std::string szError) {
    return {false, {}, std::move(szError)};
}

ControlCommand::Reply Done(std::string szLine) {
    return {true, {std::move(szLine)}, {}};
}

// The command of a known verb, with what follows it checked against what the verb takes.
std::optional<ControlCommand> WithArgument(const VerbInfo& info, bool bHasArgument,
                                           std::string_view szArgument, std::string& szError) {
    ControlCommand command;
    command.verb = info.verb;
    const std::string szName(info.szName);
    switch (info.takes) {
    case Takes::Nothing:
        if (bHasArgument) {
            szError = szName + " takes nothing after it";
            return std::nullopt;
        }
        return command;
    case Takes::Name:
        if (!bHasArgument) {
            szError = szName + " needs a name (or #SLOT, as who shows it)";
            return std::nullopt;
        }
        break;
    case Takes::Address:
        if (szArgument.empty()) {
            szError = szName + " needs an address or prefix, as bans shows it";
            return std::nullopt;
        }
        break;
    case Takes::Text:
        if (!bHasArgument) {
            szError = szName + " needs a text";
            return std::nullopt;
        }
        break;
    case Takes::Password:
        if (szArgument == "off") {
            return command;
        }
        if (!szArgument.starts_with("set ") || szArgument.size() == 4) {
            szError = szName + " needs a password file or off";
            return std::nullopt;
        }
        command.bOn = true;
        command.szArgument = szArgument.substr(4);
        return command;
    case Takes::OnOff:
        if (szArgument != "on" && szArgument != "off") {
            szError = szName + " needs on or off";
            return std::nullopt;
        }
        command.bOn = szArgument == "on";
        return command;
    }
    command.szArgument = szArgument;
    return command;
}

} // namespace

std::optional<ControlCommand> ControlCommand::Parse(std::string_view szLine, std::string& szError) {
    if (szLine.size() >= kMaxLine) {
        szError = "the request is longer than " + std::to_string(kMaxLine - 1) + " bytes";
        return std::nullopt;
    }
    const std::size_t nBlank = szLine.find(' ');
    const std::string_view szVerb = szLine.substr(0, nBlank);
    const bool bHasArgument = nBlank != std::string_view::npos;
    const std::string_view szArgument = bHasArgument ? szLine.substr(nBlank + 1) : "";
    const auto info = std::find_if(kVerbs.begin(), kVerbs.end(),
                                   [szVerb](const VerbInfo& i) { return i.szName == szVerb; });
    if (info == kVerbs.end()) {
        szError = szVerb.empty() ? "no command given (" + std::string(kVerbList) + ")"
                                 : "unknown command: " + std::string(szVerb) + " (" +
                                       std::string(kVerbList) + ")";
        return std::nullopt;
    }
    return WithArgument(*info, bHasArgument, szArgument, szError);
}

std::optional<ControlCommand> ControlCommand::FromArguments(const std::vector<std::string>& args,
                                                            const ReadPassword& readPassword,
                                                            std::string& szError) {
    if (!args.empty() && args.front() == "password") {
        if (args.size() != 2) {
            szError = "password needs a password file or off";
            return std::nullopt;
        }
        if (args[1] != "off") {
            std::optional<std::string> szPassword = readPassword(args[1], szError);
            if (!szPassword) {
                return std::nullopt;
            }
            ControlCommand command;
            command.verb = Verb::Password;
            command.bOn = true;
            command.szArgument = std::move(*szPassword);
            return command;
        }
    }
    std::string szLine;
    for (std::size_t i = 0; i < args.size(); ++i) {
        szLine += (i == 0 ? "" : " ") + args[i];
    }
    return Parse(szLine, szError);
}

std::string ControlCommand::Line() const {
    const VerbInfo& info = InfoOf(verb);
    std::string szLine(info.szName);
    switch (info.takes) {
    case Takes::Nothing:
        return szLine;
    case Takes::Password:
        return szLine + (bOn ? " set " + szArgument : " off");
    case Takes::OnOff:
        return szLine + (bOn ? " on" : " off");
    default:
        return szLine + " " + szArgument;
    }
}

ControlCommand::Reply ControlCommand::Run(ControlTarget& target) const {
    switch (verb) {
    case Verb::Who: {
        Reply reply;
        for (const ControlTarget::User& user : target.Users()) {
            // The name last: it may hold blanks.
            reply.lines.push_back("#" + std::to_string(user.iSlot) + " " + user.szAddress + " " +
                                  user.szNick);
        }
        return reply;
    }
    case Verb::Disconnect:
    case Verb::Ban:
        return RunOnUser(target);
    case Verb::Bans:
        return {true, target.Bans(), {}};
    case Verb::Unban:
        if (!target.Unban(szArgument)) {
            return Failed("no ban for " + szArgument + " (bans lists them)");
        }
        return Done("unbanned " + szArgument);
    case Verb::Clear:
        target.Clear();
        return Done("cleared everybody's canvas");
    case Verb::Say:
        target.Say(szArgument);
        return Done("said to everybody");
    case Verb::Password:
        target.SetPassword(bOn ? std::optional<std::string>(szArgument) : std::nullopt);
        return Done(bOn ? "password set: new connections need it"
                        : "password off: new connections join without one");
    case Verb::Picture:
        if (!target.SetPicture(bOn)) {
            return Failed("the picture cannot be kept");
        }
        return Done(bOn ? "picture on: newcomers get the canvas" : "picture off: none kept");
    }
    return Failed("unknown command");
}

ControlCommand::Reply ControlCommand::RunOnUser(ControlTarget& target) const {
    std::vector<ControlTarget::User> users = target.Users();
    std::vector<ControlTarget::User> named;
    std::copy_if(users.begin(), users.end(), std::back_inserter(named),
                 [this](const ControlTarget::User& user) { return user.szNick == szArgument; });
    if (named.empty() && szArgument.starts_with('#')) {
        int nSlot = 0;
        const char* szEnd = szArgument.data() + szArgument.size();
        const auto [szStop, error] = std::from_chars(szArgument.data() + 1, szEnd, nSlot);
        if (error == std::errc() && szStop == szEnd && szArgument.size() > 1) {
            std::copy_if(users.begin(), users.end(), std::back_inserter(named),
                         [nSlot](const ControlTarget::User& user) { return user.iSlot == nSlot; });
        }
    }
    if (named.empty()) {
        return Failed("nobody called " + szArgument + " has joined (who lists them)");
    }
    if (named.size() > 1) {
        return Failed(std::to_string(named.size()) + " users are called " + szArgument + " (" +
                      Slots(named) + "): name one as #SLOT");
    }
    const ControlTarget::User& user = named.front();
    const std::string szWho =
        user.szNick + " (#" + std::to_string(user.iSlot) + ", " + user.szAddress + ")";
    if (verb == Verb::Disconnect) {
        target.Disconnect(user.iSlot);
        return Done("disconnected " + szWho);
    }
    if (!target.Ban(user.iSlot)) {
        return Failed(user.szNick + " has left already");
    }
    return Done("banned " + user.szAddress + ": " + szWho + " disconnected");
}

} // namespace zaplo
