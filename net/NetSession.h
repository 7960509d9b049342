// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zaplo {

class AppState;
class BridgeRegistry;
class ClientLink;
class EventPump;
class PacketHost;
class ReadScheduler;
class ServerLink;

// The network side of one main-window session: the server's socket slots (ws_user), the client's
// socket (ws_connect) and the 1 ms send timer (timerSendMsgs). Created by the main window and
// destroyed with it, which closes every connection.
class NetSession : public QObject {
    Q_OBJECT
public:
    // Default for SetEventInterval.
    static constexpr int kEventIntervalMs = 5;

    // Starts the session with bConnected false, an empty outgoing queue and no client slots,
    // and starts timerSendMsgs. The timer idles whenever the queue is empty or the link is
    // down, and wakes when a message is queued on a link that is up.
    NetSession(AppState& state, PacketHost& host, QObject* parent = nullptr);
    ~NetSession() override;

    // Shows "Connection failed!" and waits for the user; set by the window.
    std::function<void()> onConnectFailed;
    // Client: after "Lost connection to server!".
    std::function<void()> onLost;
    // Client: the session's host hears of the loss too, after onLost.
    std::function<void()> onHostLost;
    // Server: slot iUser has taken a new connection, before anything of it is read.
    std::function<void(int16_t)> onAccepted;
    // Server: see ServerLink::refuseAtDoor.
    std::function<std::optional<std::string>(const std::string&)> refuseAtDoor;

    // Server: logs "Waiting for a client to join..." and listens on nPort.
    void ServerWait();
    // Client: logs "Connecting...", connects and waits (at most 60,000 ms); always leaves
    // bConnected true, calling onConnectFailed when the wait fails.
    void ClientConnect();

    void ServerSendToClient(const std::string& szData, int16_t iUser);
    void CloseSlot(int16_t iUser);
    // Server: slot iUser's client has joined and receives the session from now on.
    void MarkJoined(int16_t iUser);
    // Server: how long a connection may take to join (tests set less).
    void SetJoinWait(int32_t nMs);
    // Server: closes a client's connection, which then leaves like any departing client.
    void Disconnect(int16_t iUser);
    // Server: a line to slot iUser before it has joined (a password's challenge).
    void SendUnjoined(int16_t iUser, const std::string& szLine);
    // Server: tells slot iUser why in one status line and closes it.
    void Refuse(int16_t iUser, const std::string& szWhy);
    // Server: the address slot iUser's connection comes from (PeerKey); empty for none.
    std::string KeyOf(int16_t iUser) const;
    // Server: connected slots whose connection comes from szKey.
    int OpenFrom(const std::string& szKey) const;
    // Server: connected clients that have joined.
    int Receivers() const;
    // Client: whether the connection to the server is up.
    bool ClientConnected() const;
    // The Exit command's first step: in server mode with bConnected, closes slots 0..nUsers and
    // ws_connect.
    void CloseForExit();
    // One tick of timerSendMsgs.
    void SendQueueTick();
    // Bytes the server holds for slot iUser (read ahead, unprocessed, unsent); 0 for none.
    qint64 HeldForSlot(int16_t iUser) const;

    // Server: the browsers' bridges to this session (their real addresses).
    BridgeRegistry& Bridges();

    // Port the server actually listens on (useful when nPort is 0 in tests); 0 if not listening.
    uint16_t ListeningPort() const;

    // How long relays and queue drains may go on before pending events run (ms); 0 runs them
    // after every send.
    void SetEventInterval(int nIntervalMs);
    // How often relays and drains have let events run so far.
    int64_t EventRuns() const;
    // A lower slot limit for tests (default: 32,767 client slots).
    void SetSlotLimit(int16_t nSlots);

private:
    void DrainToServer(std::size_t nCount);
    void DrainToClients(std::size_t nCount);
    // Starts timerSendMsgs if it idles and there is something to send.
    void WakeSendTimer();
    void NoteQueued();
    // origins_ as long as colSendQueue again (messages dropped or added elsewhere are the
    // server's own).
    void AlignOrigins();

    AppState& state_;
    PacketHost& host_;
    std::unique_ptr<EventPump> pump_;
    ReadScheduler* reader_;
    ServerLink* server_;
    ClientLink* client_;
    QTimer timerSendMsgs_;
    // A tick is letting events run; a tick started inside it would send the same messages again.
    bool bTicking_ = false;
    // Whose each queued message is, in queue order (0: the server's own): a chat echo belongs to
    // the client whose line it echoes. Kept as long as colSendQueue.
    std::deque<int16_t> origins_;
    // timerSendMsgs stopped itself for want of work; only then is it woken again (a timer
    // stopped from outside stays stopped).
    bool bIdle_ = false;
};

} // namespace zaplo
