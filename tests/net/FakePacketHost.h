#pragma once

#include "net/PacketHost.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace zaplo::test {

// A window and link stand-in for the dispatcher. Records every effect in order as a short text
// ("Status:bob has joined!", "Send2:{9}...", "Queue:{8}host;"), keeps user rows with their slots
// and a set of connected slots. Lookups are not recorded.
class FakePacketHost : public PacketHost {
public:
    struct Row {
        std::string szNick;
        int16_t iSlot;
        bool operator==(const Row&) const = default;
    };
    struct Sent {
        int16_t iSlot;
        std::string szData;
    };

    std::vector<std::string> calls;
    std::vector<Row> rows;
    std::set<int16_t> connected;
    int16_t nUsers = 0;
    std::vector<Sent> sent;           // sends that reached a connected slot
    std::vector<DrawRecord> segments; // drawn segments
    std::vector<std::string> queue;   // ClientServerSendMessage, code + payload
    // Runs after each send to a connected slot, where the real link lets pending events run.
    std::function<void(const std::string& szData, int16_t iUser)> onSend;

    // A client accepted onto slot iSlot (grows nUsers as the link does).
    void Connect(int16_t iSlot);
    std::vector<std::string> SentTo(int16_t iSlot) const;

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
    void ClientServerSendMessage(const std::string& szMsg, const std::string& szData) override;
};

} // namespace zaplo::test
