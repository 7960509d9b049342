// SPDX-License-Identifier: MIT
#pragma once

#include "base/AppState.h"
#include "net/NetSession.h"
#include "net/SendQueue.h"
#include "net/SessionHost.h"
#include "net/SessionView.h"
#include "net/core/UserList.h"

#include <QRandomGenerator>
#include <QTcpServer>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// Listens on 127.0.0.1 at a port that the 16-bit nPort can hold.
inline int16_t ListenLow(QTcpServer& server) {
    int16_t nPort = 0;
    do {
        nPort = static_cast<int16_t>(20000 + QRandomGenerator::global()->bounded(12000));
    } while (!server.listen(QHostAddress::LocalHost, static_cast<quint16>(nPort)));
    return nPort;
}

inline int16_t FreeLowPort() {
    QTcpServer probe;
    return ListenLow(probe);
}

// A main window without a window, around a real session host: logs what the session shows
// ("chat:...", "status:...", "erase", "failed") and keeps the drawn segments; the user list is
// the host's.
class HeadlessHost : public zaplo::SessionView {
public:
    // A participant of a run on 127.0.0.1.
    HeadlessHost(int32_t nMode, const std::string& szNick, int16_t nPort)
        : host_(std::make_unique<zaplo::SessionHost>(Prepared(nMode, szNick, nPort), *this)),
          session(&host_->Session()), users(host_->Users()) {}
    // The window's last creation step.
    void Start() { host_->Start(); }
    void Queue(zaplo::MessageCode msg, const std::string& szData) {
        zaplo::ClientServerSendMessage(state, msg, szData);
    }
    int Count(const std::string& szEntry) const {
        return static_cast<int>(std::count(log.begin(), log.end(), szEntry));
    }
    bool Has(const std::string& szEntry) const { return Count(szEntry) > 0; }
    zaplo::SessionHost& Host() { return *host_; }
    std::optional<std::string> SlotNickname(int16_t iUser) const { return users.Nickname(iUser); }
    std::vector<std::string> UserRows() const { return users.Names(); }

    zaplo::AppState state;
    Lines log;
    std::vector<zaplo::DrawRecord> draws;
    std::function<void(const zaplo::DrawRecord&)> onDraw; // acts in the middle of a dispatch

private:
    zaplo::AppState& Prepared(int32_t nMode, const std::string& szNick, int16_t nPort) {
        state.onEnd = nullptr;
        state.nMode = static_cast<zaplo::Mode>(nMode);
        state.szNick = szNick;
        state.nPort = nPort;
        state.szServerIP = state.szListenHost = "127.0.0.1";
        return state;
    }
    std::unique_ptr<zaplo::SessionHost> host_;

public:
    zaplo::NetSession* const session;
    const zaplo::UserList& users;

    void SendToChatBox(const std::string& szMessage) override {
        log.push_back("chat:" + szMessage);
    }
    void Status(const std::string& szMessage) override { log.push_back("status:" + szMessage); }
    void AddUsername(const std::string& /*szUser*/, int16_t /*iSlot*/) override {}
    void RemoveUsername(int16_t /*iUser*/) override {}
    void RefreshUserlist() override {}
    void DrawSegment(const zaplo::DrawRecord& record) override {
        draws.push_back(record);
        if (onDraw) {
            onDraw(record);
        }
    }
    void EraseCanvas() override { log.emplace_back("erase"); }
    void ConnectFailed() override { log.emplace_back("failed"); }
    void PasswordNeeded(bool bWrong) override {
        log.emplace_back(bWrong ? "password:wrong" : "password:needed");
    }
};
