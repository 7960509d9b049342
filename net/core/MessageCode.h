// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string_view>

namespace zaplo {

// Every line on the wire ends with these two bytes.
inline constexpr std::string_view kCrLf = "\r\n";

// The message codes of the wire format; the number is the one between the braces.
enum class MessageCode {
    Chat = 1,
    Join = 2,
    Leave = 3, // made up by the server for one of its slots, never sent
    UserList = 8,
    Status = 9,
    Draw = 10,
    Clear = 11,
    Answer = 12, // a session password's challenge (server) and its answer (client)
};

// The code as it starts a line: "{1}", "{10}", ...
constexpr std::string_view WireCode(MessageCode code) {
    switch (code) {
    case MessageCode::Chat:
        return "{1}";
    case MessageCode::Join:
        return "{2}";
    case MessageCode::Leave:
        return "{3}";
    case MessageCode::UserList:
        return "{8}";
    case MessageCode::Status:
        return "{9}";
    case MessageCode::Draw:
        return "{10}";
    case MessageCode::Clear:
        return "{11}";
    case MessageCode::Answer:
        return "{12}";
    }
    return {};
}

// The code a line starts with (everything up to and including its first "}"); none for a code
// outside the table.
std::optional<MessageCode> ParseCode(std::string_view code);

} // namespace zaplo
