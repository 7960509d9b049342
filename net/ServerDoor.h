// SPDX-License-Identifier: MIT
#pragma once

#include "net/AcceptGate.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace zaplo {

class AppState;

// Which new connections the server takes now, which wait their turn and which it turns away,
// before any of them has a slot. An address that connects too often (AcceptGate), or any
// newcomer while the server's own announcements are behind at the clients, waits connected but
// unread; beyond kMaxParked waiting, further ones are turned away, and after every
// kTurnedAwayPerPause of those accepting pauses for one token's time, so that whoever connects
// in a loop is slowed down by the system's backlog.
class ServerDoor : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kMaxParked = 256;
    static constexpr int kTurnedAwayPerPause = 64;

    explicit ServerDoor(AppState& state, QObject* parent = nullptr);
    // Turns away the connections still waiting.
    ~ServerDoor() override;

    // A connection request from szKey (PeerKey): taken at once, parked or turned away.
    // bMayRefuse: refuseAtDoor may be asked (not on a port that serves TLS, where a plain line
    // means nothing to the peer).
    void Knock(qintptr id, std::string szKey, bool bMayRefuse);
    // Turns away every connection that waits.
    void TurnAwayParked();
    std::size_t Parked() const { return parked_.size(); }

    // Gives the connection a slot.
    std::function<void(qintptr, std::string)> take;
    // Newcomers wait while this says so.
    std::function<bool()> paused;
    // A reason to turn a connection from this address away at once (one status line, then
    // closed), so that refusing costs no slot, socket or timer.
    std::function<std::optional<std::string>(const std::string&)> refuseAtDoor;
    // Stops accepting for nMs.
    std::function<void(int)> pauseListening;

private:
    void AdmitParked();
    bool MayTake(const std::string& szKey, int32_t lNow);

    AppState& state_;
    AcceptGate gate_;
    std::deque<std::pair<qintptr, std::string>> parked_;
    QTimer parkTimer_;
    int64_t nTurnedAway_ = 0;
};

} // namespace zaplo
