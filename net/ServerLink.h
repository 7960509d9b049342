#pragma once

#include "net/ReadScheduler.h"

#include <QObject>

#include <cstdint>
#include <functional>
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
    // Flow control. A client with more than kPaceMark waiting to be sent to it is behind. While
    // it takes what it is sent (it acknowledged something within kTakingMs), nobody is read
    // until it is back under the mark, so the senders go at the pace of the readers. While it
    // is not known yet whether it reads, the others are read at a trickle (and not at all once
    // it is at kMaxUnsent). A client that has taken nothing for kStallMs no longer holds anybody
    // back, and once more than kMaxUnsent waits for it, it is cut off and announced as gone.
    // kMaxUnsent bounds a client's output (plus the one message that crosses it); kPaceMark
    // keeps a reader at most that far behind, a few milliseconds of a local link.
    static constexpr qint64 kPaceMark = 256 * 1024;
    static constexpr qint64 kMaxUnsent = qint64{2} * 1024 * 1024;
    // A reader acknowledges within a round trip while data waits for it.
    static constexpr int32_t kTakingMs = 100;
    // Long enough for any link that still works to acknowledge something (a few round trips
    // and retransmissions), short enough that a non-reader is gone within seconds.
    static constexpr int32_t kStallMs = 2000;

    ServerLink(AppState& state, PacketHost& host, EventPump& pump, ReadScheduler& reader,
               QObject* parent = nullptr);

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
    // The host removes a client: closes its connection and announces it as gone, exactly as
    // when it leaves. Nothing when slot iUser (a client slot) is not connected.
    void Disconnect(int16_t iUser);

    uint16_t ListeningPort() const;
    // How fast the clients' data may be read now (the ReadScheduler's pace); cuts off the
    // clients that have stopped reading.
    ReadScheduler::Pace Pace();
    // Bytes the server holds for one slot: unread, not yet dispatched, not yet sent.
    qint64 Held(int16_t iUser) const;

    // Called when the first client connects (bConnected has just become true).
    std::function<void()> onConnected;

    // A lower slot limit for tests; the default is the real one.
    void SetSlotLimit(int16_t nSlots) { nSlotLimit_ = nSlots; }

private:
    void OnConnectionRequest(qintptr id);
    Connection* NewSlot(int16_t iSlot);
    Connection* Slot(int16_t iUser) const;
    // Slot iUser (a client slot) if its socket is connected, else nullptr.
    Connection* ConnectedSlot(int16_t iUser) const;
    bool SendOn(Connection& slot, int16_t iUser, std::string_view szText, std::string_view szEnd);
    void Departure(int16_t iUser);
    void NoteBehind(int16_t iUser);
    void CutOff(int16_t iUser);

    AppState& state_;
    PacketHost& host_;
    EventPump& pump_;
    ReadScheduler& reader_;
    // Slots that were behind with their output when last looked at.
    std::vector<int16_t> behind_;
    // Never shrinks during a session: a slot is closed and reused, never destroyed.
    std::vector<Connection*> ws_user_;
    int16_t nSlotLimit_ = kMaxSlots;
};

} // namespace zaplo
