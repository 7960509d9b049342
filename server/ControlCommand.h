// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zaplo {

class ControlTarget;

// One request to a running zaplo-server over its control socket, as a line of text:
//   who | disconnect NAME | ban NAME | bans | unban ADDRESS | clear | say TEXT
//   | password set SECRET | password off | picture on|off
// A NAME, an ADDRESS and a TEXT are the rest of the line after the one blank (a name may be
// empty or hold blanks); a NAME that nobody has but that reads "#SLOT" names that slot. On the
// command line `password FILE` reads the password from the file (its first line) there, so only
// the secret travels to the server, never the file's name, which the server may not be able to
// read.
class ControlCommand {
public:
    enum class Verb { Who, Disconnect, Ban, Bans, Unban, Clear, Say, Password, Picture };

    // Longest request line, its line end included.
    static constexpr std::size_t kMaxLine = 4096;

    struct Reply {
        bool bOk = true;
        std::vector<std::string> lines; // one per result, for the operator
        std::string szError;            // when not bOk: the one-line reason
    };

    // The request line without its line end; nothing and a one-line reason when it is none.
    static std::optional<ControlCommand> Parse(std::string_view szLine, std::string& szError);
    // The control command's words from the command line; readPassword reads `password FILE`.
    using ReadPassword =
        std::function<std::optional<std::string>(const std::string& szPath, std::string& szError)>;
    static std::optional<ControlCommand> FromArguments(const std::vector<std::string>& args,
                                                       const ReadPassword& readPassword,
                                                       std::string& szError);
    // The request line (without its line end) that Parse reads back as this command.
    std::string Line() const;

    Reply Run(ControlTarget& target) const;

    Verb verb = Verb::Who;
    // The name, address, text or password; empty for the verbs without one.
    std::string szArgument;
    // password: set (true) or off; picture: on or off.
    bool bOn = false;

private:
    Reply RunOnUser(ControlTarget& target) const;
};

} // namespace zaplo
