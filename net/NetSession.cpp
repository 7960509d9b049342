// Placeholder until the links land: keeps the main window linkable.
#include "net/NetSession.h"

#include "app/AppState.h"
#include "net/PacketHost.h"

namespace zaplo {

NetSession::NetSession(AppState& state, PacketHost& host, QObject* parent)
    : QObject(parent), state_(state), host_(host) {}
NetSession::~NetSession() = default;
void NetSession::ServerWait() {
    host_.Status("Waiting for a client to join...");
}
void NetSession::ClientConnect() {
    host_.Status("Connecting...");
    state_.bConnected = true;
}
void NetSession::ServerSendToClient(const std::string&, int16_t) {}
void NetSession::CloseSlot(int16_t) {}
void NetSession::CloseForExit() {}
void NetSession::SendQueueTick() {}
uint16_t NetSession::ListeningPort() const {
    return 0;
}

} // namespace zaplo
