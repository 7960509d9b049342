#pragma once

#include "base/AppState.h"
#include "net/NetSession.h"
#include "net/SendQueue.h"
#include "net/core/PacketHost.h"
#include "net/core/UserList.h"
#include "server/ConsoleHost.h"

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

// Which server a server-mode HeadlessHost runs: the main window's (this class stands in for the
// window) or the headless server's ConsoleHost. A test source built a second time with
// ZAPLO_TEST_CONSOLE_SERVER runs every one of its server sessions on the headless server.
enum class ServerKind { Window, Console };
#ifdef ZAPLO_TEST_CONSOLE_SERVER
inline constexpr ServerKind kServerKind = ServerKind::Console;
#else
inline constexpr ServerKind kServerKind = ServerKind::Window;
#endif

class HeadlessHost;

// The headless server, watched: what it only drops (chat lines, strokes, clears) is logged by
// the HeadlessHost around it as well.
class ConsoleProbe : public zaplo::ConsoleHost {
public:
    ConsoleProbe(zaplo::AppState& state, HeadlessHost& owner);
    void SendToChatBox(const std::string& szMessage) override;
    void DrawSegment(const zaplo::DrawRecord& record) override;
    void EraseCanvas() override;

private:
    HeadlessHost& owner_;
};

// A main window without a window, around a real session: logs what the dispatcher shows
// ("chat:...", "status:...", "erase", "failed"), keeps the user list and the drawn segments, and
// hands the link side to its session. In server mode with ServerKind::Console the session and
// the user list are a ConsoleHost's, and this class only watches it.
class HeadlessHost : public zaplo::PacketHost {
public:
    // A participant of a run on 127.0.0.1.
    HeadlessHost(int32_t nMode, const std::string& szNick, int16_t nPort)
        : console_(nMode == 0 && kServerKind == ServerKind::Console
                       ? std::make_unique<ConsoleProbe>(state, *this)
                       : nullptr),
          ownSession_(console_ ? nullptr : std::make_unique<zaplo::NetSession>(state, *this)),
          session(console_ ? &console_->Session() : ownSession_.get()),
          users(console_ ? console_->Users() : ownUsers_) {
        state.onEnd = nullptr;
        state.nMode = static_cast<zaplo::Mode>(nMode);
        state.szNick = szNick;
        state.nPort = nPort;
        state.szServerIP = state.szListenHost = "127.0.0.1";
        session->onConnectFailed = [this] { log.emplace_back("failed"); };
    }
    // The window's last creation step.
    void Start() {
        if (console_) {
            console_->Start();
        } else if (state.nMode == zaplo::Mode::Server) {
            AddUsername(state.szNick, 0);
            session->ServerWait();
        } else {
            session->ClientConnect();
            Queue(zaplo::MessageCode::Join, state.szNick);
        }
    }
    void Queue(zaplo::MessageCode msg, const std::string& szData) {
        zaplo::ClientServerSendMessage(state, msg, szData);
    }
    int Count(const std::string& szEntry) const {
        return static_cast<int>(std::count(log.begin(), log.end(), szEntry));
    }
    bool Has(const std::string& szEntry) const { return Count(szEntry) > 0; }

    zaplo::AppState state;
    Lines log;
    std::vector<zaplo::DrawRecord> draws;
    std::function<void(const zaplo::DrawRecord&)> onDraw; // acts in the middle of a dispatch

private:
    zaplo::UserList ownUsers_;
    // Declared after what they report to, so they go first.
    std::unique_ptr<ConsoleProbe> console_;
    std::unique_ptr<zaplo::NetSession> ownSession_;

public:
    zaplo::NetSession* const session;
    const zaplo::UserList& users;

    void SendToChatBox(const std::string& szMessage) override {
        log.push_back("chat:" + szMessage);
    }
    void Status(const std::string& szMessage) override { log.push_back("status:" + szMessage); }
    void AddUsername(const std::string& szUser, int16_t iSlot) override {
        ownUsers_.Add(szUser, iSlot);
    }
    void RemoveUsername(int16_t iUser) override { ownUsers_.Remove(iUser); }
    std::optional<std::string> SlotNickname(int16_t iUser) const override {
        return users.Nickname(iUser);
    }
    void RefreshUserlist() override { ownUsers_.Clear(); }
    std::vector<std::string> UserRows() const override { return users.Names(); }
    void DrawSegment(const zaplo::DrawRecord& record) override {
        draws.push_back(record);
        if (onDraw) {
            onDraw(record);
        }
    }
    void EraseCanvas() override { log.emplace_back("erase"); }
    int16_t HighestSlot() const override { return state.nUsers; }
    void ServerSendToClient(const std::string& szData, int16_t iUser) override {
        session->ServerSendToClient(szData, iUser);
    }
    void CloseSlot(int16_t iUser) override { session->CloseSlot(iUser); }
    void ClientServerSendMessage(zaplo::MessageCode msg, const std::string& szData) override {
        Queue(msg, szData);
    }
};

inline ConsoleProbe::ConsoleProbe(zaplo::AppState& state, HeadlessHost& owner)
    : zaplo::ConsoleHost(state, [&owner](const std::string& szStatus) { owner.Status(szStatus); }),
      owner_(owner) {}

inline void ConsoleProbe::SendToChatBox(const std::string& szMessage) {
    zaplo::ConsoleHost::SendToChatBox(szMessage);
    owner_.SendToChatBox(szMessage);
}

inline void ConsoleProbe::DrawSegment(const zaplo::DrawRecord& record) {
    zaplo::ConsoleHost::DrawSegment(record);
    owner_.DrawSegment(record);
}

inline void ConsoleProbe::EraseCanvas() {
    zaplo::ConsoleHost::EraseCanvas();
    owner_.EraseCanvas();
}
