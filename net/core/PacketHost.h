// SPDX-License-Identifier: MIT
#pragma once

#include "net/core/DrawRecord.h"
#include "net/core/MessageCode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zaplo {

// Everything the dispatcher reaches outside itself: the main window's boxes, user list and canvas,
// and the session's links. The main window implements it; tests use a fake. All texts are bytes.
class PacketHost {
public:
    virtual ~PacketHost() = default;

    // Window side.
    virtual void SendToChatBox(const std::string& szMessage) = 0;
    virtual void Status(const std::string& szMessage) = 0;
    // Appends a user-list row; on the server the row keeps iSlot (0 = the server's own user).
    virtual void AddUsername(const std::string& szUser, int16_t iSlot) = 0;
    // Removes the first row whose slot is iUser; nothing when there is none.
    virtual void RemoveUsername(int16_t iUser) = 0;
    // Nickname of the first row whose slot is iUser.
    virtual std::optional<std::string> SlotNickname(int16_t iUser) const = 0;
    // Whether slot iUser has a row, that is, has joined. Asked once per block received.
    virtual bool SlotJoined(int16_t iUser) const { return SlotNickname(iUser).has_value(); }
    virtual void RefreshUserlist() = 0;
    virtual std::vector<std::string> UserRows() const = 0;
    // Draws one received segment on the canvas and shows it.
    virtual void DrawSegment(const DrawRecord& record) = 0;
    virtual void EraseCanvas() = 0;

    // Link side.
    virtual int16_t HighestSlot() const = 0; // nUsers
    // Sends szData + CR LF to slot iUser if it is connected; otherwise nothing.
    virtual void ServerSendToClient(const std::string& szData, int16_t iUser) = 0;
    virtual void CloseSlot(int16_t iUser) = 0;
    // Queues the code and szData for the outgoing timer.
    virtual void ClientServerSendMessage(MessageCode msg, const std::string& szData) = 0;
    // The server has just answered slot iUser's join (status line and user list). Nothing by
    // default; a host may follow the answer with more for the newcomer.
    virtual void JoinAnswered(int16_t /*iUser*/) {}

    // Who may join. Nothing of this happens unless the host asks for it (a password, bans,
    // limits); by default anybody joins, as always.
    // Client: the server's challenge ("{12}" payload).
    virtual void Challenge(const std::string& /*szChallenge*/) {}
    // Server: slot iUser's answer to its challenge; false when it was refused (and the slot
    // closed).
    virtual bool Answered(int16_t /*iUser*/, const std::string& /*szAnswer*/) { return true; }
    // Server: why slot iUser may not join now; nothing when it may.
    virtual std::optional<std::string> JoinRefusal(int16_t /*iUser*/) { return std::nullopt; }
    // Server: tells slot iUser, which has not joined, why in one status line, and closes it.
    virtual void Refuse(int16_t /*iUser*/, const std::string& /*szWhy*/) {}
};

} // namespace zaplo
