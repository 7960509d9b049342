// SPDX-License-Identifier: MIT
#pragma once

#include "net/BridgeRegistry.h"
#include "net/FlowLedger.h"
#include "net/LinkSettings.h"
#include "net/ReadScheduler.h"
#include "net/ServerDoor.h"
#include "net/core/PeerRules.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zaplo {

class AppState;
class Connection;
class EventPump;
class PacketHost;

// The server side of a session: the socket slots ws_user (slot 0 listens, slots 1..nUsers carry
// clients), accepting clients onto the lowest free slot, single sends to one client, and a
// client's departure turned into a leave for the dispatcher. A client receives nothing until it
// has joined, and is closed when it has not joined within the join wait.
class ServerLink : public QObject {
    Q_OBJECT
public:
    // Most client slots: the 16-bit slot numbers end there.
    static constexpr int16_t kMaxSlots = 32767;
    // Flow control (the numbers and the decisions are FlowLedger's). Every byte sent to a
    // client is booked to its sender: the client whose line is relayed or answered, the client
    // whose chat line is echoed, or the server itself (slot 0) for its own lines and the
    // departures it announces. A sender whose bytes pile up beyond its share at a client that
    // takes data is not read until they are taken; nobody else waits for it. A client far behind
    // the others (kMaxLagMs), or holding more than kMaxUnsent without taking any of it, is cut
    // off and announced as gone. Accepted sockets keep at most kNotSentLowat unsent bytes in
    // the system, so what waits stays in view here instead of hiding in the system's buffer.
    static constexpr qint64 kPaceMark = FlowLedger::kPaceMark;
    static constexpr qint64 kMaxUnsent = FlowLedger::kMaxUnsent;
    static constexpr int32_t kMaxLagMs = FlowLedger::kMaxLagMs;
    // About a millisecond of a 100 Mbit/s link, a tenth of a second of a 1 Mbit/s one; bytes in
    // flight are not limited by it.
    static constexpr int kNotSentLowat = 16 * 1024;

    ServerLink(AppState& state, PacketHost& host, EventPump& pump, ReadScheduler& reader,
               QObject* parent = nullptr);
    // Turns away the connections still waiting for their turn.
    ~ServerLink() override;

    // Logs "Waiting for a client to join..." and listens on nPort; a failure is logged too.
    void ServerWait();
    // Sends szData + CR LF to slot iUser if it is connected, then lets events run (batched).
    void ServerSendToClient(const std::string& szData, int16_t iUser);
    // Hands szText, then szEnd, to slot iUser's connection if it is connected; a client that
    // has stopped reading is dropped (and announced as gone). False when nothing was sent or
    // the client was dropped.
    // iSender: whose bytes these are (0: the server's own).
    bool SendToSlot(int16_t iUser, std::string_view szText, std::string_view szEnd = {},
                    int16_t iSender = 0);
    bool SlotConnected(int16_t iUser) const;
    // Slot iUser's client has joined: from now on it receives the session.
    void MarkJoined(int16_t iUser);
    // Sends szLine + CR LF to slot iUser although it has not joined (a password's challenge).
    void SendUnjoined(int16_t iUser, std::string_view szLine);
    // Tells slot iUser why in one status line and closes it; a client that had joined leaves
    // as any departing client.
    void Refuse(int16_t iUser, const std::string& szWhy);
    // The address slot iUser's connection comes from (PeerKey); empty for none.
    std::string KeyOf(int16_t iUser) const;
    // Connected slots whose connection comes from szKey.
    int OpenFrom(const std::string& szKey) const;
    // The browsers' bridges of this host: their connections count as the browsers' addresses.
    BridgeRegistry& Bridges() { return bridges_; }
    // Called when slot iUser has taken a new connection, before anything of it is read.
    std::function<void(int16_t)> onAccepted;
    // Asked with a new connection's address before it gets a slot: a reason to turn it away at
    // once (one status line, then closed), so that refusing costs no slot, socket or timer.
    // Not asked on a port that serves TLS, where a plain line means nothing to the peer.
    std::function<std::optional<std::string>(const std::string&)> refuseAtDoor;
    // Connected clients that have joined.
    int Receivers() const;
    // Joins so far; with JoinedSince, what a connection that joined later must not be sent.
    uint64_t Joins() const { return nJoins_; }
    bool JoinedSince(int16_t iUser, uint64_t nJoins) const;
    // How long a connection may take to join before it is closed (PeerRules::kJoinWaitMs;
    // tests set less).
    void SetJoinWait(int32_t nMs) { nJoinWaitMs_ = nMs; }
    // Closes one slot's socket; slot 0 is the listener.
    void CloseSlot(int16_t iUser);
    // Closes slots 0..nUsers in ascending order.
    void CloseAll();
    // The host removes a client: closes its connection and announces it as gone, exactly as
    // when it leaves. Nothing when slot iUser (a client slot) is not connected.
    void Disconnect(int16_t iUser);

    uint16_t ListeningPort() const;
    // Looks at the clients' output: marks the senders to pace (not read for now) and cuts off
    // the clients that are far behind or have stopped reading. Paced when somebody is.
    ReadScheduler::Pace Pace();
    // The slot whose lines are being dispatched now; 0 outside a dispatch.
    int16_t Serving() const { return iServing_; }
    // Bytes of sender iSender waiting to be sent to slot iUser, and slot iUser's lag (ms).
    qint64 WaitingAt(int16_t iUser, int16_t iSender) const {
        return ledger_.Waiting(iUser, iSender);
    }
    int32_t LagOf(int16_t iUser) const { return ledger_.Lag(iUser); }
    // Reads the clock for what is sent from now on (once per drain, not per send).
    void NoteTime();
    // Joins and departures cost every client a line, the departures' lines and user lists are
    // the server's own (sender 0), and the server is never paced: while its own bytes wait at
    // some client beyond its share, as when peers join and leave in a loop, newcomers wait
    // instead, so the churn slows down to what the clients take.
    bool AdmissionPaused() const { return ledger_.Paced(0); }
    // Connections waiting for their address's turn.
    std::size_t Parked() const { return door_.Parked(); }
    // Bytes the server holds for one slot: unread, not yet dispatched, not yet sent.
    qint64 Held(int16_t iUser) const;

    // Called when the first client joins (bConnected has just become true).
    std::function<void()> onConnected;

    // A lower slot limit for tests; the default is the real one.
    void SetSlotLimit(int16_t nSlots) { nSlotLimit_ = nSlots; }

private:
    void OnConnectionRequest(qintptr id);
    void TakeConnection(qintptr id, std::string szKey);
    Connection* NewSlot(int16_t iSlot);
    Connection* Slot(int16_t iUser) const;
    // Slot iUser (a client slot) if its socket is connected, else nullptr.
    Connection* ConnectedSlot(int16_t iUser) const;
    // Slot iUser if it is connected and has joined: the only slots that are sent to.
    Connection* ReceivingSlot(int16_t iUser) const;
    // Closes the connections that had their time to join and did not.
    void CloseUnjoined();
    bool SendOn(Connection& slot, int16_t iUser, std::string_view szText, std::string_view szEnd,
                int16_t iSender);
    void Departure(int16_t iUser);
    void CutOff(int16_t iUser);

    AppState& state_;
    PacketHost& host_;
    EventPump& pump_;
    ReadScheduler& reader_;
    FlowLedger ledger_;
    // Timeouts and TLS of the slots' connections, taken when listening starts.
    LinkSettings settings_;
    BridgeRegistry bridges_;
    ServerDoor door_{state_};
    QTimer joinTimer_;
    int32_t nJoinWaitMs_;
    std::vector<int16_t> cut_;
    std::vector<int16_t> paced_;
    int16_t iServing_ = 0;
    // Never shrinks during a session: a slot is closed and reused, never destroyed.
    std::vector<Connection*> ws_user_;
    int16_t nSlotLimit_ = kMaxSlots;
    uint64_t nJoins_ = 0;
};

} // namespace zaplo
