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
    : QObject(parent), state_(state), host_(host), pump_(pump), reader_(reader) {
    Connection* listener = NewSlot(0);
    connect(&listener->Socket(), &TcpSocket::ConnectionRequest, this,
            &ServerLink::OnConnectionRequest);
}

Connection* ServerLink::NewSlot(int16_t iSlot) {
    auto* slot = new Connection(iSlot, host_, pump_, this);
    slot->Socket().SetPump(&pump_);
    slot->onPeerClosed = [this, iSlot] { Departure(iSlot); };
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
    if (state_.nPort < 0 || !listener.Listen(state_.szListenHost)) {
        // No dialog: the window stays usable, the log tells why nobody can join.
        host_.Status(ListenFailure(state_.nPort, listener));
    }
}

void ServerLink::OnConnectionRequest(qintptr id) {
    const bool bFirst = !state_.bConnected;
    state_.bConnected = true;
    if (bFirst && onConnected) {
        onConnected();
    }
    // The lowest free slot is reused before the array grows; nUsers is taken once.
    const auto nUsers = static_cast<int16_t>(std::min<std::size_t>(
        static_cast<std::size_t>(std::max<int16_t>(state_.nUsers, 0)), ws_user_.size() - 1));
    Connection* slot = nullptr;
    for (int i = 1; i <= nUsers; ++i) {
        if (ws_user_[static_cast<std::size_t>(i)]->IsFree()) {
            slot = ws_user_[static_cast<std::size_t>(i)];
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
        slot = NewSlot(state_.nUsers);
    }
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

bool ServerLink::SendToSlot(int16_t iUser, std::string_view szText, std::string_view szEnd) {
    Connection* slot = ConnectedSlot(iUser);
    return slot != nullptr && SendOn(*slot, iUser, szText, szEnd);
}

bool ServerLink::SendOn(Connection& slot, int16_t iUser, std::string_view szText,
                        std::string_view szEnd) {
    TcpSocket& socket = slot.Socket();
    socket.Send(szText, szEnd);
    if (!socket.MayHoldMoreThan(kPaceMark)) {
        return true;
    }
    if (socket.BytesToWrite() > kPaceMark) {
        NoteBehind(iUser);
        if (socket.BytesToWrite() > kMaxUnsent &&
            slot.SinceProgress(state_.GetTicks()) >= kStallMs) {
            CutOff(iUser);
            return false;
        }
    }
    return true;
}

void ServerLink::NoteBehind(int16_t iUser) {
    Connection* slot = Slot(iUser);
    if (!slot->bBehind) {
        slot->bBehind = true;
        // It counts as reading only once it takes something from here on.
        slot->WatchProgress(TicksAfter(state_.GetTicks(), -kTakingMs));
        behind_.push_back(iUser);
    }
}

void ServerLink::CutOff(int16_t iUser) {
    // Not reading: dropped as if it had left.
    Slot(iUser)->Close();
    Departure(iUser);
}

ReadScheduler::Pace ServerLink::Pace() {
    auto nPace = ReadScheduler::Pace::Full;
    const int32_t lNow = state_.GetTicks();
    for (std::size_t i = 0; i < behind_.size();) {
        const int16_t iUser = behind_[i];
        Connection* slot = Slot(iUser);
        const qint64 nUnsent = slot->Socket().BytesToWrite();
        if (!slot->Socket().IsConnected() || nUnsent <= kPaceMark) {
            slot->bBehind = false;
            behind_.erase(behind_.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ++i;
        const int32_t nSince = slot->SinceProgress(lNow);
        if (nSince < kTakingMs || (nSince < kStallMs && nUnsent > kMaxUnsent)) {
            // A reader: the senders wait until it has taken its backlog.
            nPace = ReadScheduler::Pace::Stop;
        } else if (nSince < kStallMs) {
            // Not known yet whether it reads: a trickle, so the others stay served meanwhile.
            nPace = std::max(nPace, ReadScheduler::Pace::Slow);
        } else if (nUnsent > kMaxUnsent) {
            CutOff(iUser); // leaves the list at the next look, being closed
        }
    }
    return nPace;
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
    SendOn(*slot, iUser, szData, kCrLf);
    pump_.AfterSend();
}

void ServerLink::Departure(int16_t iUser) {
    std::string szLeave = std::string(WireCode(MessageCode::Leave)) + std::string(kCrLf);
    PacketProc(szLeave, iUser, host_);
}

void ServerLink::CloseSlot(int16_t iUser) {
    if (Connection* slot = Slot(iUser)) {
        slot->Close();
    }
}

void ServerLink::Disconnect(int16_t iUser) {
    if (ConnectedSlot(iUser) != nullptr) {
        CutOff(iUser);
    }
}

void ServerLink::CloseAll() {
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
