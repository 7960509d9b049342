#pragma once

#include "app/AppState.h"
#include "net/NetSession.h"
#include "net/PacketHost.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A main window without a window: records what the dispatcher shows (status lines, chat lines,
// user rows with their slots, canvas calls) and forwards the link side to its NetSession, so a
// server and several clients can run in one test process.
class HeadlessHost : public zaplo::PacketHost {
public:
    struct Row {
        std::string szName;
        int16_t iSlot;
    };

    // nMode 0 = server (listens on 127.0.0.1, nPort 0 = any free port), 1 = client.
    HeadlessHost(int32_t nMode, const std::string& szNick, int16_t nPort = 0);
    ~HeadlessHost() override;

    // The window's last creation step: server: own row + ServerWait; client: ClientConnect +
    // the queued join.
    void InitConnection();
    // Ends this session and starts the next one on the same program-wide state (a Reset).
    void NewSession();
    // A message made up by the local user (chat line, stroke, clear).
    void Queue(const std::string& szMsg, const std::string& szData);

    uint16_t Port() const { return session->ListeningPort(); }
    std::vector<std::string> RowNames() const;
    bool HasStatus(const std::string& szLine) const;
    int CountStatus(const std::string& szLine) const;
    bool HasChat(const std::string& szLine) const;

    zaplo::AppState state;
    std::unique_ptr<zaplo::NetSession> session;

    std::vector<std::string> statusLines;
    std::vector<std::string> chatLines;
    std::vector<Row> rows;
    std::vector<zaplo::DrawRecord> draws;
    int nErases = 0;
    int nConnectFailed = 0;
    // Chat lines, status lines, erases and connection failures in order ("chat:...",
    // "status:...", "erase", "connect failed").
    std::vector<std::string> log;

    // Called after the call has been recorded; tests use them to act in the middle of a
    // dispatch.
    std::function<void(const zaplo::DrawRecord&)> onDraw;
    std::function<void(const std::string&)> onChat;
    std::function<void()> onConnectFailed;

    // PacketHost
    void SendToChatBox(const std::string& szMessage) override;
    void Status(const std::string& szMessage) override;
    void AddUsername(const std::string& szUser, int16_t iSlot) override;
    void RemoveUsername(int16_t iUser) override;
    std::optional<std::string> SlotNickname(int16_t iUser) const override;
    void RefreshUserlist() override;
    std::vector<std::string> UserRows() const override;
    void DrawSegment(const zaplo::DrawRecord& record) override;
    void EraseCanvas() override;
    int16_t HighestSlot() const override;
    void ServerSendToClient(const std::string& szData, int16_t iUser) override;
    void CloseSlot(int16_t iUser) override;
    void ClientServerSendMessage(const std::string& szMsg, const std::string& szData) override;

private:
    void MakeSession();
};

#include <QTest>

// Readable failures for lists of lines.
template <> inline char* QTest::toString(const std::vector<std::string>& lines) {
    QByteArray text = "{";
    for (const std::string& line : lines) {
        text += " \"" + QByteArray::fromStdString(line) + "\"";
    }
    return qstrdup(text + " }");
}
