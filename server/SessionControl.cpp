// SPDX-License-Identifier: MIT
#include "server/SessionControl.h"

#include "net/SessionHost.h"
#include "server/ConsoleView.h"

#include <utility>

namespace zaplo {

SessionControl::SessionControl(SessionHost& host, ConsoleView& view) : host_(host), view_(view) {}

std::vector<ControlTarget::User> SessionControl::Users() const {
    std::vector<User> users;
    for (const UserList::Row& row : host_.Users().Rows()) {
        if (row.iSlot > 0) {
            users.push_back({row.iSlot, row.szNick, host_.Access().AddressOf(row.iSlot)});
        }
    }
    return users;
}

void SessionControl::Disconnect(int16_t iSlot) {
    host_.Disconnect(iSlot);
}

bool SessionControl::Ban(int16_t iSlot) {
    return host_.Access().Ban(iSlot);
}

std::vector<std::string> SessionControl::Bans() const {
    return host_.Access().Bans();
}

bool SessionControl::Unban(const std::string& szAddress) {
    return host_.Access().Unban(szAddress);
}

void SessionControl::Clear() {
    host_.ClearCanvas();
}

void SessionControl::Say(const std::string& szText) {
    host_.SendChat(szText);
}

void SessionControl::SetPassword(std::optional<std::string> szPassword) {
    host_.Access().SetPassword(std::move(szPassword));
}

bool SessionControl::SetPicture(bool bOn) {
    if (!bOn) {
        host_.SetSendPicture(false);
        view_.SetKeepPicture(false);
        return true;
    }
    view_.SetKeepPicture(true);
    host_.SetSendPicture(true);
    return host_.SendsPicture();
}

} // namespace zaplo
