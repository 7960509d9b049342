// SPDX-License-Identifier: MIT
#pragma once

#include "net/core/PacketHost.h"
#include "net/core/UserList.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zaplo {

// Window and links in one, for driving the dispatcher without Qt: every effect is logged in
// order ("Send2:{9}x", "Queue:{8}host;"), the user list is the real one. onSend runs after each
// send, where the real link lets pending events run.
class FakeHost : public PacketHost {
public:
    using Lines = std::vector<std::string>;
    using Rows = std::vector<std::pair<std::string, int16_t>>;

    Lines calls;
    UserList users;
    int16_t nUsers = 0;
    std::function<void(int16_t)> onSend;

    // The user list as (nickname, slot) pairs, for comparisons.
    Rows RowPairs() const;
    void SetRows(const Rows& rows);

    void SendToChatBox(const std::string& szMessage) override;
    void Status(const std::string& szMessage) override;
    void AddUsername(const std::string& szUser, int16_t iSlot) override;
    void RemoveUsername(int16_t iUser) override;
    std::optional<std::string> SlotNickname(int16_t iUser) const override;
    void RefreshUserlist() override;
    std::vector<std::string> UserRows() const override;
    void DrawSegment(const DrawRecord& record) override;
    void EraseCanvas() override;
    int16_t HighestSlot() const override { return nUsers; }
    void ServerSendToClient(const std::string& szData, int16_t iUser) override;
    void CloseSlot(int16_t iUser) override;
    void ClientServerSendMessage(MessageCode msg, const std::string& szData) override;
    // Logged as "Challenge:..." and "Answer2:..."; answers are taken.
    void Challenge(const std::string& szChallenge) override;
    bool Answered(int16_t iUser, const std::string& szAnswer) override;
};

} // namespace zaplo
