// SPDX-License-Identifier: MIT
#include "net/ServerLink.h"

#include "base/AppState.h"
#include "base/Ticks.h"
#include "net/Connection.h"
#include "net/EventPump.h"
#include "net/PeerAddress.h"
#include "net/core/MessageCode.h"
#include "net/core/PacketHost.h"
#include "net/core/PacketProc.h"

#include <QAbstractSocket>

#include <algorithm>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace zaplo {

namespace {

std::string ListenFailure(int nPort, const TcpSocket& socket) {
    std::string szReason;
    if (nPort < 0) {
        szReason = "port out of range";
    } else if (socket.LastError() == QAbstractSocket::AddressInUseError) {
        szReason = "address already in use";
    } else if (socket.LastError() == QAbstractSocket::SocketAccessError) {
        szReason = nPort < 1024 ? "permission denied (ports below 1024 need administrator rights)"
                                : "permission denied";
    } else {
        szReason = socket.LastErrorString().toStdString();
    }
    return "Cannot listen on port " + std::to_string(nPort) + ": " + szReason;
}

} // namespace

ServerLink::ServerLink(AppState& state, PacketHost& host, EventPump& pump, ReadScheduler& reader,
                       QObject* parent)
    : QObject(parent), state_(state), host_(host), pump_(pump), reader_(reader),
      nJoinWaitMs_(PeerRules::kJoinWaitMs) {
    Connection* listener = NewSlot(0);
    connect(&listener->Socket(), &TcpSocket::ConnectionRequest, this,
            &ServerLink::OnConnectionRequest);
    door_.take = [this](qintptr id, std::string szKey) { TakeConnection(id, std::move(szKey)); };
    door_.paused = [this] { return AdmissionPaused(); };
    door_.refuseAtDoor = [this](const std::string& szKey) -> std::optional<std::string> {
        return refuseAtDoor ? refuseAtDoor(szKey) : std::nullopt;
    };
    door_.pauseListening = [this](int nMs) { ws_user_[0]->Socket().PauseListening(nMs); };
    connect(&joinTimer_, &QTimer::timeout, this, &ServerLink::CloseUnjoined);
}

ServerLink::~ServerLink() = default;

Connection* ServerLink::NewSlot(int16_t iSlot) {
    auto* slot = new Connection(iSlot, host_, pump_, this);
    slot->Socket().SetPump(&pump_);
    slot->Socket().SetSettings(&settings_);
    slot->onPeerClosed = [this, iSlot] { Departure(iSlot); };
    slot->pnServing = &iServing_;
    ws_user_.push_back(slot);
    if (iSlot > 0) {
        reader_.Add(slot);
    }
    return slot;
}

Connection* ServerLink::Slot(int16_t iUser) const {
    if (iUser < 0 || static_cast<std::size_t>(iUser) >= ws_user_.size()) {
        return nullptr;
    }
    return ws_user_[static_cast<std::size_t>(iUser)];
}

void ServerLink::ServerWait() {
    // The certificate is tried first, so that listening follows the status line at once.
    std::string szWhy;
    const bool bSettingsOk = settings_.LoadServer(state_, szWhy);
    host_.Status("Waiting for a client to join...");
    TcpSocket& listener = ws_user_[0]->Socket();
    listener.Close();
    listener.SetLocalPort(state_.nPort);
    if (!bSettingsOk) {
        host_.Status("Cannot use the TLS certificate: " + szWhy);
        return;
    }
    if (state_.nPort < 0 || !listener.Listen(state_.szListenHost)) {
        // No dialog: the window stays usable, the log tells why nobody can join.
        host_.Status(ListenFailure(state_.nPort, listener));
    }
}

void ServerLink::NoteTime() {
    ledger_.SetNow(state_.GetTicks());
}

void ServerLink::OnConnectionRequest(qintptr id) {
    // A browser's bridge connects from this host; the rules go by the browser's own address.
    door_.Knock(id, bridges_.KeyOf(LocalPeerPort(id)).value_or(PeerKey(id)),
                !settings_.ServesTls());
}

void ServerLink::TakeConnection(qintptr id, std::string szKey) {
    // The lowest free slot is reused before the array grows; nUsers is taken once.
    const auto nUsers = static_cast<int16_t>(std::min<std::size_t>(
        static_cast<std::size_t>(std::max<int16_t>(state_.nUsers, 0)), ws_user_.size() - 1));
    Connection* slot = nullptr;
    int16_t iSlot = 0;
    for (int i = 1; i <= nUsers; ++i) {
        if (ws_user_[static_cast<std::size_t>(i)]->IsFree()) {
            slot = ws_user_[static_cast<std::size_t>(i)];
            iSlot = static_cast<int16_t>(i);
            break;
        }
    }
    if (slot == nullptr) {
        if (nUsers >= nSlotLimit_) {
            // Every slot is taken: turn this client away, serve the others on.
            TcpSocket::Reject(id);
            return;
        }
        state_.nUsers = static_cast<int16_t>(nUsers + 1);
        iSlot = state_.nUsers;
        slot = NewSlot(iSlot);
    }
    // Unsent bytes stay in view here rather than in the system's buffer.
    const int nLowat = kNotSentLowat;
    ::setsockopt(static_cast<int>(id), IPPROTO_TCP, TCP_NOTSENT_LOWAT, &nLowat, sizeof nLowat);
    ledger_.Drop(iSlot);
    ledger_.NewSender(iSlot);
    slot->bPaced = false;
    // A connection of this slot's that closed before it came up is heard of no more.
    disconnect(slot->upWatch);
    slot->Accept(id);
    slot->lAccepted = state_.GetTicks();
    slot->szPeerKey = std::move(szKey);
    if (!joinTimer_.isActive()) {
        // A coarse look is enough: the wait is a bound, not a deadline to the millisecond.
        joinTimer_.start(std::max(1, std::min(nJoinWaitMs_ / 4, 1000)));
    }
    const auto accepted = [this, iSlot] {
        if (onAccepted) {
            onAccepted(iSlot);
        }
    };
    if (slot->Socket().IsConnected()) {
        accepted();
        return;
    }
    // On a port that serves TLS the connection is not up until its first bytes have told which
    // it is (and a TLS one has shaken hands); until then nothing can be sent to it or refused.
    slot->upWatch =
        connect(&slot->Socket(), &TcpSocket::Up, this, accepted, Qt::SingleShotConnection);
}

void ServerLink::SendUnjoined(int16_t iUser, std::string_view szLine) {
    if (Connection* slot = ConnectedSlot(iUser)) {
        SendOn(*slot, iUser, szLine, kCrLf, 0);
    }
}

void ServerLink::Refuse(int16_t iUser, const std::string& szWhy) {
    Connection* slot = ConnectedSlot(iUser);
    if (slot == nullptr) {
        return;
    }
    const std::string szLine = std::string(WireCode(MessageCode::Status)) + szWhy;
    // Written before the close, which hands it to the system first.
    SendOn(*slot, iUser, szLine, kCrLf, 0);
    CutOff(iUser);
}

std::string ServerLink::KeyOf(int16_t iUser) const {
    const Connection* slot = ConnectedSlot(iUser);
    return slot != nullptr ? slot->szPeerKey : std::string();
}

int ServerLink::OpenFrom(const std::string& szKey) const {
    int nOpen = 0;
    for (std::size_t i = 1; i < ws_user_.size(); ++i) {
        const Connection* slot = ws_user_[i];
        nOpen += slot->Socket().IsConnected() && slot->szPeerKey == szKey ? 1 : 0;
    }
    return nOpen;
}

void ServerLink::CloseUnjoined() {
    const int32_t lNow = state_.GetTicks();
    bool bAnyWaiting = false;
    for (std::size_t i = 1; i < ws_user_.size(); ++i) {
        Connection* slot = ws_user_[i];
        if (slot->bJoined || !slot->Socket().IsConnected()) {
            continue;
        }
        if (!TicksPast(TicksAfter(slot->lAccepted, nJoinWaitMs_), lNow)) {
            // Never joined, so nobody knows of it: it goes without an announcement.
            CutOff(static_cast<int16_t>(i));
        } else {
            bAnyWaiting = true;
        }
    }
    if (!bAnyWaiting) {
        joinTimer_.stop();
    }
}

void ServerLink::MarkJoined(int16_t iUser) {
    Connection* slot = ConnectedSlot(iUser);
    if (slot == nullptr) {
        return;
    }
    slot->bJoined = true;
    slot->nJoinedAs = ++nJoins_;
    // The queue goes out from the first join on: what the host said before anybody came reaches
    // the first who can receive it.
    const bool bFirst = !state_.bConnected;
    state_.bConnected = true;
    if (bFirst && onConnected) {
        onConnected();
    }
}

bool ServerLink::JoinedSince(int16_t iUser, uint64_t nJoins) const {
    const Connection* slot = ReceivingSlot(iUser);
    return slot != nullptr && slot->nJoinedAs > nJoins;
}

int ServerLink::Receivers() const {
    int nReceivers = 0;
    for (std::size_t i = 1; i < ws_user_.size(); ++i) {
        const Connection* slot = ws_user_[i];
        nReceivers += slot->bJoined && slot->Socket().IsConnected() ? 1 : 0;
    }
    return nReceivers;
}

Connection* ServerLink::ConnectedSlot(int16_t iUser) const {
    if (iUser <= 0 || static_cast<std::size_t>(iUser) >= ws_user_.size()) {
        return nullptr;
    }
    Connection* slot = ws_user_[static_cast<std::size_t>(iUser)];
    return slot->Socket().IsConnected() ? slot : nullptr;
}

Connection* ServerLink::ReceivingSlot(int16_t iUser) const {
    Connection* slot = ConnectedSlot(iUser);
    return slot != nullptr && slot->bJoined ? slot : nullptr;
}

bool ServerLink::SlotConnected(int16_t iUser) const {
    return ConnectedSlot(iUser) != nullptr;
}

bool ServerLink::SendToSlot(int16_t iUser, std::string_view szText, std::string_view szEnd,
                            int16_t iSender) {
    Connection* slot = ReceivingSlot(iUser);
    return slot != nullptr && SendOn(*slot, iUser, szText, szEnd, iSender);
}

bool ServerLink::SendOn(Connection& slot, int16_t iUser, std::string_view szText,
                        std::string_view szEnd, int16_t iSender) {
    TcpSocket& socket = slot.Socket();
    if (!socket.MayHoldMoreThan(0)) {
        // Everything sent before has been taken.
        ledger_.Empty(iUser);
    }
    socket.Send(szText, szEnd);
    ledger_.Queued(iUser, iSender, static_cast<int64_t>(szText.size() + szEnd.size()));
    if (socket.MayHoldMoreThan(kMaxUnsent) && socket.BytesToWrite() > kMaxUnsent) {
        ledger_.Look(iUser, socket.BytesToWrite(), socket.Acknowledged());
        if (ledger_.SinceProgress(iUser) >= FlowLedger::kTakingMs) {
            CutOff(iUser);
            return false;
        }
    }
    return true;
}

void ServerLink::CutOff(int16_t iUser) {
    // Not reading, or far behind everybody else: dropped as if it had left.
    CloseSlot(iUser);
    Departure(iUser);
}

ReadScheduler::Pace ServerLink::Pace() {
    NoteTime();
    // Receivers may be closed (and dropped from the list) while this goes through it.
    const std::vector<int16_t> behind = ledger_.Behind();
    for (const int16_t iUser : behind) {
        Connection* slot = Slot(iUser);
        if (slot == nullptr || !slot->Socket().IsConnected()) {
            ledger_.Drop(iUser);
        } else {
            ledger_.Look(iUser, slot->Socket().BytesToWrite(), slot->Socket().Acknowledged());
        }
    }
    // Connections that never joined receive nothing, so they are no measure of keeping up.
    const int nReceivers = ledger_.AnyLagging() ? Receivers() : 0;
    cut_.clear();
    ledger_.Decide(nReceivers, cut_);
    for (const int16_t iSender : paced_) {
        Slot(iSender)->bPaced = false;
    }
    paced_.clear();
    for (const int16_t iSender : ledger_.PacedSenders()) {
        if (Connection* slot = Slot(iSender)) {
            slot->bPaced = true;
            paced_.push_back(iSender);
        }
    }
    const std::vector<int16_t> cut = cut_;
    for (const int16_t iUser : cut) {
        if (SlotConnected(iUser)) {
            CutOff(iUser);
        }
    }
    return paced_.empty() ? ReadScheduler::Pace::Full : ReadScheduler::Pace::Paced;
}

qint64 ServerLink::Held(int16_t iUser) const {
    const Connection* slot = iUser > 0 ? Slot(iUser) : nullptr;
    return slot != nullptr ? slot->Held() : 0;
}

void ServerLink::ServerSendToClient(const std::string& szData, int16_t iUser) {
    Connection* slot = ReceivingSlot(iUser);
    if (slot == nullptr) {
        return;
    }
    SendOn(*slot, iUser, szData, kCrLf, iServing_);
    pump_.AfterSend();
}

void ServerLink::Departure(int16_t iUser) {
    PacketLeave(iUser, host_);
}

void ServerLink::CloseSlot(int16_t iUser) {
    if (Connection* slot = Slot(iUser)) {
        slot->Close();
        ledger_.Drop(iUser);
    }
}

void ServerLink::Disconnect(int16_t iUser) {
    if (ConnectedSlot(iUser) != nullptr) {
        CutOff(iUser);
    }
}

void ServerLink::CloseAll() {
    door_.TurnAwayParked();
    const int nUsers = state_.nUsers;
    for (int i = 0; i <= nUsers; ++i) {
        CloseSlot(static_cast<int16_t>(i));
    }
}

uint16_t ServerLink::ListeningPort() const {
    const TcpSocket& listener = ws_user_[0]->Socket();
    return listener.GetState() == TcpSocket::State::Listening
               ? static_cast<uint16_t>(listener.LocalPort())
               : 0;
}

} // namespace zaplo
