#include "server/ConsoleHost.h"

#include "base/AppState.h"
#include "net/NetSession.h"
#include "net/SendQueue.h"

#include <utility>

namespace zaplo {

namespace {

AppState& ServerMode(AppState& state) {
    state.nMode = Mode::Server;
    return state;
}

} // namespace

ConsoleHost::ConsoleHost(AppState& state, StatusSink onStatus)
    : state_(ServerMode(state)), onStatus_(std::move(onStatus)),
      session_(std::make_unique<NetSession>(state_, *this)) {}

ConsoleHost::~ConsoleHost() {
    // The session may still report while it closes its sockets, so it goes first.
    session_.reset();
}

void ConsoleHost::Start() {
    AddUsername(state_.szNick, 0);
    session_->ServerWait();
}

bool ConsoleHost::Listening() const {
    return session_->ListeningPort() != 0;
}

void ConsoleHost::Stop() {
    session_->CloseForExit();
    // Before the first client came the Exit above closes nothing; the listener goes all the same.
    session_->CloseSlot(0);
}

void ConsoleHost::SendToChatBox(const std::string& /*szMessage*/) {
    // No chat box; the dispatcher queues the echo to the clients all the same.
}

void ConsoleHost::Status(const std::string& szMessage) {
    if (onStatus_) {
        onStatus_(szMessage);
    }
}

void ConsoleHost::AddUsername(const std::string& szUser, int16_t iSlot) {
    users_.Add(szUser, iSlot);
}

void ConsoleHost::RemoveUsername(int16_t iUser) {
    users_.Remove(iUser);
}

std::optional<std::string> ConsoleHost::SlotNickname(int16_t iUser) const {
    return users_.Nickname(iUser);
}

void ConsoleHost::RefreshUserlist() {
    users_.Clear();
}

std::vector<std::string> ConsoleHost::UserRows() const {
    return users_.Names();
}

void ConsoleHost::DrawSegment(const DrawRecord& /*record*/) {
    // No canvas; the dispatcher relays the segment all the same.
}

void ConsoleHost::EraseCanvas() {}

int16_t ConsoleHost::HighestSlot() const {
    return state_.nUsers;
}

void ConsoleHost::ServerSendToClient(const std::string& szData, int16_t iUser) {
    session_->ServerSendToClient(szData, iUser);
}

void ConsoleHost::CloseSlot(int16_t iUser) {
    session_->CloseSlot(iUser);
}

void ConsoleHost::ClientServerSendMessage(MessageCode msg, const std::string& szData) {
    zaplo::ClientServerSendMessage(state_, msg, szData);
}

} // namespace zaplo
