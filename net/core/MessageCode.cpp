#include "net/core/MessageCode.h"

#include <array>

namespace zaplo {

std::optional<MessageCode> ParseCode(std::string_view code) {
    static constexpr std::array kCodes = {
        MessageCode::Chat,   MessageCode::Join, MessageCode::Leave, MessageCode::UserList,
        MessageCode::Status, MessageCode::Draw, MessageCode::Clear};
    for (const MessageCode c : kCodes) {
        if (WireCode(c) == code) {
            return c;
        }
    }
    return std::nullopt;
}

} // namespace zaplo
