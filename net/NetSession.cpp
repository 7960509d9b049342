// SPDX-License-Identifier: MIT
#include "net/NetSession.h"

#include "base/AppState.h"
#include "net/ClientLink.h"
#include "net/EventPump.h"
#include "net/ReadScheduler.h"
#include "net/ServerLink.h"
#include "net/core/MessageCode.h"
#include "net/core/PacketHost.h"
#include "net/core/PacketParams.h"

#include <algorithm>
#include <vector>

namespace zaplo {

NetSession::NetSession(AppState& state, PacketHost& host, QObject* parent)
    : QObject(parent), state_(state), host_(host),
      pump_(std::make_unique<EventPump>([&state] { return state.GetTicks(); }, kEventIntervalMs)),
      reader_(new ReadScheduler(*pump_, this)),
      server_(new ServerLink(state, host, *pump_, *reader_, this)),
      client_(new ClientLink(state, host, *pump_, *reader_, this)) {
    // Nothing of an earlier session carries over: its unsent messages belonged to other peers.
    state_.bConnected = false;
    state_.colSendQueue.clear();
    state_.nUsers = 0;
    origins_.clear();
    reader_->pace = [this] {
        return state_.nMode == Mode::Server ? server_->Pace() : ReadScheduler::Pace::Full;
    };
    server_->onConnected = [this] { WakeSendTimer(); };
    state_.onQueued = [this] {
        NoteQueued();
        WakeSendTimer();
    };
    client_->onConnectFailed = [this] {
        if (onConnectFailed) {
            onConnectFailed();
        }
    };
    client_->onLost = [this] {
        if (onLost) {
            onLost();
        }
        if (onHostLost) {
            onHostLost();
        }
    };
    server_->refuseAtDoor = [this](const std::string& szKey) -> std::optional<std::string> {
        return refuseAtDoor ? refuseAtDoor(szKey) : std::nullopt;
    };
    server_->onAccepted = [this](int16_t iUser) {
        if (onAccepted) {
            onAccepted(iUser);
        }
    };
    timerSendMsgs_.setParent(this);
    timerSendMsgs_.setObjectName(QStringLiteral("timerSendMsgs"));
    timerSendMsgs_.setInterval(1);
    connect(&timerSendMsgs_, &QTimer::timeout, this, &NetSession::SendQueueTick);
    timerSendMsgs_.start();
}

NetSession::~NetSession() {
    state_.onQueued = nullptr;
    timerSendMsgs_.stop();
    // The links go before the pump they use.
    delete server_;
    delete client_;
}

void NetSession::ServerWait() {
    server_->ServerWait();
}

void NetSession::ClientConnect() {
    client_->ClientConnect();
    WakeSendTimer();
}

void NetSession::WakeSendTimer() {
    if (bIdle_ && state_.bConnected && !state_.colSendQueue.empty()) {
        bIdle_ = false;
        timerSendMsgs_.start();
    }
}

void NetSession::NoteQueued() {
    if (state_.nMode != Mode::Server) {
        return;
    }
    AlignOrigins();
    // Echoes are made while the chat line's client is being served; the server's own lines and
    // its announcements are its own.
    const std::string& szLast = state_.colSendQueue.back();
    const bool bEcho = szLast.starts_with(WireCode(MessageCode::Chat));
    origins_.back() = bEcho ? server_->Serving() : int16_t{0};
}

void NetSession::AlignOrigins() {
    while (origins_.size() > state_.colSendQueue.size()) {
        origins_.pop_front(); // the oldest were dropped while the link was down
    }
    while (origins_.size() < state_.colSendQueue.size()) {
        origins_.push_back(0);
    }
}

qint64 NetSession::HeldForSlot(int16_t iUser) const {
    return server_->Held(iUser);
}

void NetSession::ServerSendToClient(const std::string& szData, int16_t iUser) {
    server_->ServerSendToClient(szData, iUser);
}

void NetSession::CloseSlot(int16_t iUser) {
    server_->CloseSlot(iUser);
}

void NetSession::MarkJoined(int16_t iUser) {
    server_->MarkJoined(iUser);
}

void NetSession::SetJoinWait(int32_t nMs) {
    server_->SetJoinWait(nMs);
}

void NetSession::Disconnect(int16_t iUser) {
    server_->Disconnect(iUser);
}

void NetSession::SendUnjoined(int16_t iUser, const std::string& szLine) {
    server_->SendUnjoined(iUser, szLine);
}

void NetSession::Refuse(int16_t iUser, const std::string& szWhy) {
    server_->Refuse(iUser, szWhy);
}

std::string NetSession::KeyOf(int16_t iUser) const {
    return server_->KeyOf(iUser);
}

int NetSession::OpenFrom(const std::string& szKey) const {
    return server_->OpenFrom(szKey);
}

int NetSession::Receivers() const {
    return server_->Receivers();
}

bool NetSession::ClientConnected() const {
    return client_->Connected();
}

void NetSession::CloseForExit() {
    if (state_.nMode == Mode::Server && state_.bConnected) {
        server_->CloseAll();
        client_->Close();
    }
}

BridgeRegistry& NetSession::Bridges() {
    return server_->Bridges();
}

uint16_t NetSession::ListeningPort() const {
    return server_->ListeningPort();
}

void NetSession::SetEventInterval(int nIntervalMs) {
    pump_->SetInterval(nIntervalMs);
}

int64_t NetSession::EventRuns() const {
    return pump_->Runs();
}

void NetSession::SetSlotLimit(int16_t nSlots) {
    server_->SetSlotLimit(nSlots);
}

void NetSession::SendQueueTick() {
    if (bTicking_) {
        return;
    }
    if (state_.colSendQueue.empty() || !state_.bConnected) {
        // Nothing to do until a message is queued or the link comes up: no ticks meanwhile.
        if (sender() == &timerSendMsgs_) {
            timerSendMsgs_.stop();
            bIdle_ = true;
        }
        return;
    }
    bTicking_ = true;
    // This tick handles the messages queued now; whatever is queued while it runs is the next
    // tick's.
    const std::size_t nCount = state_.colSendQueue.size();
    if (state_.nMode == Mode::Client) {
        DrainToServer(nCount);
    } else {
        DrainToClients(nCount);
    }
    const std::size_t nDone = std::min(nCount, state_.colSendQueue.size());
    state_.colSendQueue.erase(state_.colSendQueue.begin(),
                              state_.colSendQueue.begin() + static_cast<std::ptrdiff_t>(nDone));
    origins_.erase(origins_.begin(), origins_.begin() + static_cast<std::ptrdiff_t>(
                                                            std::min(nDone, origins_.size())));
    bTicking_ = false;
}

void NetSession::DrainToServer(std::size_t nCount) {
    // No events run here, so the queue stays as it is while this goes through it. The sends
    // are gathered and handed over in one piece when the work ends.
    pump_->Begin();
    for (std::size_t i = 0; i < nCount && i < state_.colSendQueue.size(); ++i) {
        if (client_->Connected()) {
            client_->Send(state_.colSendQueue[i] + std::string(kCrLf));
        } else {
            host_.Status("No Server!");
        }
    }
    pump_->End();
}

void NetSession::DrainToClients(std::size_t nCount) {
    // Events run between the sends, and their handlers may queue more: work on a copy.
    AlignOrigins();
    std::vector<std::string> lines;
    std::vector<int16_t> origins;
    lines.reserve(nCount);
    origins.reserve(nCount);
    // A user list says who is here now: one queued at a departure goes out as the list of this
    // moment, or a client that joined meanwhile would be told it is not in it.
    const std::string_view szListCode = WireCode(MessageCode::UserList);
    for (std::size_t i = 0; i < nCount; ++i) {
        const std::string& szQueued = state_.colSendQueue[i];
        lines.push_back((szQueued.starts_with(szListCode)
                             ? std::string(szListCode) + GetUsersPacket(host_)
                             : szQueued) +
                        std::string(kCrLf));
        origins.push_back(origins_[i]);
    }
    pump_->Begin();
    server_->NoteTime();
    const int nUsers = state_.nUsers;
    // A client that joins while events run between the sends was answered with the session as
    // it is then: these older lines are not for it.
    const uint64_t nJoins = server_->Joins();
    for (int u = 1; u <= nUsers; ++u) {
        const auto iUser = static_cast<int16_t>(u);
        if (server_->JoinedSince(iUser, nJoins)) {
            continue;
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!server_->SendToSlot(iUser, lines[i], {}, origins[i])) {
                break;
            }
            pump_->AfterSend();
        }
        pump_->Run();
    }
    pump_->End();
}

} // namespace zaplo
