#pragma once

#include <QObject>

#include <cstdint>
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
// client's departure turned into a leave message for the dispatcher.
class ServerLink : public QObject {
    Q_OBJECT
public:
    // Most client slots: the 16-bit slot numbers end there.
    static constexpr int16_t kMaxSlots = 32767;
    // A client with more than this waiting to be sent to it is not reading; it is dropped
    // before it can use up the server's memory.
    static constexpr qint64 kMaxUnsent = qint64{4} * 1024 * 1024;

    ServerLink(AppState& state, PacketHost& host, EventPump& pump, QObject* parent = nullptr);

    // Logs "Waiting for a client to join..." and listens on nPort; a failure is logged too.
    void ServerWait();
    // Sends szData + CR LF to slot iUser if it is connected, then lets events run (batched).
    void ServerSendToClient(const std::string& szData, int16_t iUser);
    // Hands szText, then szEnd, to slot iUser's connection if it is connected; a client that
    // has stopped reading is dropped (and announced as gone). False when nothing was sent or
    // the client was dropped.
    bool SendToSlot(int16_t iUser, std::string_view szText, std::string_view szEnd = {});
    bool SlotConnected(int16_t iUser) const;
    // Closes one slot's socket; slot 0 is the listener.
    void CloseSlot(int16_t iUser);
    // Closes slots 0..nUsers in ascending order.
    void CloseAll();

    uint16_t ListeningPort() const;

    // Lower limits for tests; the defaults are the real ones.
    void SetSlotLimit(int16_t nSlots) { nSlotLimit_ = nSlots; }
    void SetUnsentLimit(qint64 nBytes) { nUnsentLimit_ = nBytes; }

private:
    void OnConnectionRequest(qintptr id);
    Connection* NewSlot(int16_t iSlot);
    Connection* Slot(int16_t iUser) const;
    // Slot iUser (a client slot) if its socket is connected, else nullptr.
    Connection* ConnectedSlot(int16_t iUser) const;
    bool SendOn(Connection& slot, int16_t iUser, std::string_view szText, std::string_view szEnd);
    void Departure(int16_t iUser);

    AppState& state_;
    PacketHost& host_;
    EventPump& pump_;
    // Never shrinks during a session: a slot is closed and reused, never destroyed.
    std::vector<Connection*> ws_user_;
    int16_t nSlotLimit_ = kMaxSlots;
    qint64 nUnsentLimit_ = kMaxUnsent;
};

} // namespace zaplo
