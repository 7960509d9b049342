// SPDX-License-Identifier: MIT
#include "tests/support/FakeHost.h"

#include "net/core/DrawPacket.h"

namespace zaplo {

FakeHost::Rows FakeHost::RowPairs() const {
    Rows rows;
    for (const UserList::Row& row : users.Rows()) {
        rows.emplace_back(row.szNick, row.iSlot);
    }
    return rows;
}

void FakeHost::SetRows(const Rows& rows) {
    users.Clear();
    for (const auto& [szNick, iSlot] : rows) {
        users.Add(szNick, iSlot);
    }
}

void FakeHost::SendToChatBox(const std::string& szMessage) {
    calls.push_back("Chat:" + szMessage);
}

void FakeHost::Status(const std::string& szMessage) {
    calls.push_back("Status:" + szMessage);
}

void FakeHost::AddUsername(const std::string& szUser, int16_t iSlot) {
    calls.push_back("Add:" + szUser + "@" + std::to_string(iSlot));
    users.Add(szUser, iSlot);
}

void FakeHost::RemoveUsername(int16_t iUser) {
    calls.push_back("Remove:" + std::to_string(iUser));
    users.Remove(iUser);
}

std::optional<std::string> FakeHost::SlotNickname(int16_t iUser) const {
    return users.Nickname(iUser);
}

void FakeHost::RefreshUserlist() {
    calls.emplace_back("Refresh");
    users.Clear();
}

std::vector<std::string> FakeHost::UserRows() const {
    return users.Names();
}

void FakeHost::DrawSegment(const DrawRecord& d) {
    calls.push_back("Draw:" + GetDrawPacket(d.sx, d.sy, d.dx, d.dy, d.clr));
}

void FakeHost::EraseCanvas() {
    calls.emplace_back("Erase");
}

void FakeHost::ServerSendToClient(const std::string& szData, int16_t iUser) {
    calls.push_back("Send" + std::to_string(iUser) + ":" + szData);
    if (onSend) {
        onSend(iUser);
    }
}

void FakeHost::CloseSlot(int16_t iUser) {
    calls.push_back("Close:" + std::to_string(iUser));
}

void FakeHost::ClientServerSendMessage(MessageCode msg, const std::string& szData) {
    calls.push_back("Queue:" + std::string(WireCode(msg)) + szData);
}

void FakeHost::Challenge(const std::string& szChallenge) {
    calls.push_back("Challenge:" + szChallenge);
}

bool FakeHost::Answered(int16_t iUser, const std::string& szAnswer) {
    calls.push_back("Answer" + std::to_string(iUser) + ":" + szAnswer);
    return true;
}

} // namespace zaplo
