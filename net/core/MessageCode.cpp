// SPDX-License-Identifier: MIT
#include "net/core/MessageCode.h"

#include <array>

namespace zaplo {

std::optional<MessageCode> ParseCode(std::string_view code) {
    // Draw records first: they are by far the most common lines.
    static constexpr std::array kCodes = {
        MessageCode::Draw,     MessageCode::Chat,   MessageCode::Join,  MessageCode::Leave,
        MessageCode::UserList, MessageCode::Status, MessageCode::Clear, MessageCode::Answer};
    for (const MessageCode c : kCodes) {
        if (WireCode(c) == code) {
            return c;
        }
    }
    return std::nullopt;
}

} // namespace zaplo
