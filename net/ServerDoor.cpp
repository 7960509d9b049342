// SPDX-License-Identifier: MIT
#include "net/ServerDoor.h"

#include "base/AppState.h"
#include "net/TcpSocket.h"

#include <sys/socket.h>

namespace zaplo {

ServerDoor::ServerDoor(AppState& state, QObject* parent) : QObject(parent), state_(state) {
    parkTimer_.setParent(this);
    parkTimer_.setSingleShot(true);
    connect(&parkTimer_, &QTimer::timeout, this, &ServerDoor::AdmitParked);
}

ServerDoor::~ServerDoor() {
    TurnAwayParked();
}

bool ServerDoor::MayTake(const std::string& szKey, int32_t lNow) {
    return !(paused && paused()) && gate_.Admit(szKey, lNow);
}

void ServerDoor::Knock(qintptr id, std::string szKey, bool bMayRefuse) {
    if (bMayRefuse && refuseAtDoor) {
        if (const std::optional<std::string> szWhy = refuseAtDoor(szKey)) {
            // A fresh socket's buffer takes one short line; whatever it does not take is lost.
            const std::string szLine = "{9}" + *szWhy + "\r\n";
            (void)!::send(static_cast<int>(id), szLine.data(), szLine.size(),
                          MSG_DONTWAIT | MSG_NOSIGNAL);
            TcpSocket::Reject(id);
            return;
        }
    }
    if (MayTake(szKey, state_.GetTicks())) {
        take(id, std::move(szKey));
        return;
    }
    if (parked_.size() >= kMaxParked) {
        TcpSocket::Reject(id);
        if (++nTurnedAway_ % kTurnedAwayPerPause == 0 && pauseListening) {
            pauseListening(AcceptGate::kTokenMs);
        }
        return;
    }
    parked_.emplace_back(id, std::move(szKey));
    if (!parkTimer_.isActive()) {
        parkTimer_.start(AcceptGate::kTokenMs);
    }
}

void ServerDoor::AdmitParked() {
    // In order of arrival, each as soon as its address has a token again.
    const int32_t lNow = state_.GetTicks();
    std::deque<std::pair<qintptr, std::string>> waiting;
    waiting.swap(parked_);
    for (auto& [id, szKey] : waiting) {
        if (MayTake(szKey, lNow)) {
            take(id, std::move(szKey));
        } else {
            parked_.emplace_back(id, std::move(szKey));
        }
    }
    if (!parked_.empty()) {
        parkTimer_.start(AcceptGate::kTokenMs);
    }
}

void ServerDoor::TurnAwayParked() {
    for (const auto& [id, szKey] : parked_) {
        TcpSocket::Reject(id);
    }
    parked_.clear();
}

} // namespace zaplo
