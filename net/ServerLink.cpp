#include "net/ServerLink.h"

#include "base/AppState.h"
#include "base/Ticks.h"
#include "net/Connection.h"
#include "net/EventPump.h"
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

// The peer's address as raw bytes: IPv4 (also when mapped into IPv6) whole, IPv6 by its /64.
std::string PeerKey(qintptr id) {
    sockaddr_storage storage{};
    socklen_t nLength = sizeof storage;
    if (::getpeername(static_cast<int>(id), reinterpret_cast<sockaddr*>(&storage), &nLength) != 0) {
        return {};
    }
    if (storage.ss_family == AF_INET) {
        const auto* in4 = reinterpret_cast<const sockaddr_in*>(&storage);
        return {reinterpret_cast<const char*>(&in4->sin_addr), 4};
    }
    if (storage.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
        const auto* bytes = reinterpret_cast<const char*>(&in6->sin6_addr);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
            return {bytes + 12, 4};
        }
        return {bytes, 8};
    }
    return {};
}

} // namespace

ServerLink::ServerLink(AppState& state, PacketHost& host, EventPump& pump, ReadScheduler& reader,
                       QObject* parent)
    : QObject(parent), state_(state), host_(host), pump_(pump), reader_(reader) {
    Connection* listener = NewSlot(0);
    connect(&listener->Socket(), &TcpSocket::ConnectionRequest, this,
            &ServerLink::OnConnectionRequest);
    parkTimer_.setSingleShot(true);
    connect(&parkTimer_, &QTimer::timeout, this, &ServerLink::AdmitParked);
}

ServerLink::~ServerLink() {
    for (const auto& [id, szKey] : parked_) {
        TcpSocket::Reject(id);
    }
}

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
    host_.Status("Waiting for a client to join...");
    TcpSocket& listener = ws_user_[0]->Socket();
    listener.Close();
    listener.SetLocalPort(state_.nPort);
    std::string szWhy;
    if (!settings_.LoadServer(state_, szWhy)) {
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
    const bool bFirst = !state_.bConnected;
    state_.bConnected = true;
    if (bFirst && onConnected) {
        onConnected();
    }
    std::string szKey = PeerKey(id);
    if (gate_.Admit(szKey, state_.GetTicks())) {
        TakeConnection(id);
        return;
    }
    // Its address has connected too often lately: it waits its turn, connected but not read.
    if (parked_.size() >= kMaxParked) {
        // Enough wait here: turned away. Every so many, accepting pauses for a moment, so the
        // next ones wait in the system's backlog; once it is full, whoever connects in a loop
        // is slowed down by the system itself.
        TcpSocket::Reject(id);
        if (++nTurnedAway_ % kTurnedAwayPerPause == 0) {
            ws_user_[0]->Socket().PauseListening(AcceptGate::kTokenMs);
        }
        return;
    }
    parked_.emplace_back(id, std::move(szKey));
    if (!parkTimer_.isActive()) {
        parkTimer_.start(AcceptGate::kTokenMs);
    }
}

void ServerLink::AdmitParked() {
    // In order of arrival, each as soon as its address has a token again.
    const int32_t lNow = state_.GetTicks();
    std::deque<std::pair<qintptr, std::string>> waiting;
    waiting.swap(parked_);
    for (auto& [id, szKey] : waiting) {
        if (gate_.Admit(szKey, lNow)) {
            TakeConnection(id);
        } else {
            parked_.emplace_back(id, std::move(szKey));
        }
    }
    if (!parked_.empty()) {
        parkTimer_.start(AcceptGate::kTokenMs);
    }
}

void ServerLink::TakeConnection(qintptr id) {
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
    slot->Accept(id);
}

Connection* ServerLink::ConnectedSlot(int16_t iUser) const {
    if (iUser <= 0 || static_cast<std::size_t>(iUser) >= ws_user_.size()) {
        return nullptr;
    }
    Connection* slot = ws_user_[static_cast<std::size_t>(iUser)];
    return slot->Socket().IsConnected() ? slot : nullptr;
}

bool ServerLink::SlotConnected(int16_t iUser) const {
    return ConnectedSlot(iUser) != nullptr;
}

bool ServerLink::SendToSlot(int16_t iUser, std::string_view szText, std::string_view szEnd,
                            int16_t iSender) {
    Connection* slot = ConnectedSlot(iUser);
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
    int nReceivers = 0;
    if (ledger_.AnyLagging()) {
        for (std::size_t i = 1; i < ws_user_.size(); ++i) {
            nReceivers += ws_user_[i]->Socket().IsConnected() ? 1 : 0;
        }
    }
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
    Connection* slot = ConnectedSlot(iUser);
    if (slot == nullptr) {
        return;
    }
    SendOn(*slot, iUser, szData, kCrLf, iServing_);
    pump_.AfterSend();
}

void ServerLink::Departure(int16_t iUser) {
    std::string szLeave = std::string(WireCode(MessageCode::Leave)) + std::string(kCrLf);
    PacketProc(szLeave, iUser, host_);
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
    for (const auto& [id, szKey] : parked_) {
        TcpSocket::Reject(id);
    }
    parked_.clear();
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
