#include "tests/net/FakePacketHost.h"

#include <algorithm>

namespace zaplo::test {

void FakePacketHost::Connect(int16_t iSlot) {
    connected.insert(iSlot);
    nUsers = std::max(nUsers, iSlot);
}

std::vector<std::string> FakePacketHost::SentTo(int16_t iSlot) const {
    std::vector<std::string> out;
    for (const Sent& s : sent) {
        if (s.iSlot == iSlot) {
            out.push_back(s.szData);
        }
    }
    return out;
}

void FakePacketHost::SendToChatBox(const std::string& szMessage) {
    calls.push_back("Chat:" + szMessage);
}

void FakePacketHost::Status(const std::string& szMessage) {
    calls.push_back("Status:" + szMessage);
}

void FakePacketHost::AddUsername(const std::string& szUser, int16_t iSlot) {
    calls.push_back("Add:" + szUser + "@" + std::to_string(iSlot));
    rows.push_back({szUser, iSlot});
}

void FakePacketHost::RemoveUsername(int16_t iUser) {
    calls.push_back("Remove:" + std::to_string(iUser));
    const auto it =
        std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.iSlot == iUser; });
    if (it != rows.end()) {
        rows.erase(it);
    }
}

std::optional<std::string> FakePacketHost::SlotNickname(int16_t iUser) const {
    for (const Row& r : rows) {
        if (r.iSlot == iUser) {
            return r.szNick;
        }
    }
    return std::nullopt;
}

void FakePacketHost::RefreshUserlist() {
    calls.push_back("Refresh");
    rows.clear();
}

std::vector<std::string> FakePacketHost::UserRows() const {
    std::vector<std::string> out;
    for (const Row& r : rows) {
        out.push_back(r.szNick);
    }
    return out;
}

void FakePacketHost::DrawSegment(const DrawRecord& record) {
    calls.push_back("Draw:" + std::to_string(record.sx) + "," + std::to_string(record.sy) + "," +
                    std::to_string(record.dx) + "," + std::to_string(record.dy) + "," +
                    std::to_string(record.clr));
    segments.push_back(record);
}

void FakePacketHost::EraseCanvas() {
    calls.push_back("Erase");
}

void FakePacketHost::ServerSendToClient(const std::string& szData, int16_t iUser) {
    calls.push_back("Send" + std::to_string(iUser) + ":" + szData);
    if (connected.count(iUser) == 0) {
        return;
    }
    sent.push_back({iUser, szData});
    if (onSend) {
        onSend(szData, iUser);
    }
}

void FakePacketHost::CloseSlot(int16_t iUser) {
    calls.push_back("Close:" + std::to_string(iUser));
    connected.erase(iUser);
}

void FakePacketHost::ClientServerSendMessage(const std::string& szMsg, const std::string& szData) {
    calls.push_back("Queue:" + szMsg + szData);
    queue.push_back(szMsg + szData);
}

} // namespace zaplo::test
