#include "server/ConsoleHost.h"

#include "base/AppState.h"
#include "base/PixelCanvas.h"
#include "net/NetSession.h"
#include "net/PictureSender.h"
#include "net/SendQueue.h"
#include "net/core/DrawRecord.h"

#include <span>

#include <utility>
#include <vector>

namespace zaplo {

namespace {

AppState& ServerMode(AppState& state) {
    state.nMode = Mode::Server;
    return state;
}

} // namespace

ConsoleHost::ConsoleHost(AppState& state, StatusSink onStatus, bool bSendPicture)
    : state_(ServerMode(state)), onStatus_(std::move(onStatus)),
      session_(std::make_unique<NetSession>(state_, *this)) {
    if (!bSendPicture) {
        return;
    }
    canvas_ = std::make_unique<PixelCanvas>();
    const PixelCanvas* canvas = canvas_.get();
    picture_ = std::make_unique<PictureSender>(
        PixelCanvas::kHeight, canvas->Background(), [canvas](int y, std::vector<int32_t>& row) {
            const std::span<const int32_t> pixels = canvas->Row(y);
            row.assign(pixels.begin(), pixels.end());
        });
    picture_->held = [this](int16_t iUser) { return session_->HeldForSlot(iUser); };
    picture_->send = [this](const std::string& szData, int16_t iUser) {
        session_->ServerSendToClient(szData, iUser);
    };
}

ConsoleHost::~ConsoleHost() {
    // The feed sends through the session; the session may still report while it closes its
    // sockets, so both go before the rest.
    picture_.reset();
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

void ConsoleHost::DrawSegment(const DrawRecord& record) {
    // Without a canvas the dispatcher relays the segment all the same.
    if (canvas_) {
        canvas_->DrawSegment(record.sx, record.sy, record.dx, record.dy, record.clr);
    }
}

void ConsoleHost::EraseCanvas() {
    if (canvas_) {
        canvas_->Erase();
    }
}

int16_t ConsoleHost::HighestSlot() const {
    return state_.nUsers;
}

void ConsoleHost::ServerSendToClient(const std::string& szData, int16_t iUser) {
    session_->ServerSendToClient(szData, iUser);
}

void ConsoleHost::CloseSlot(int16_t iUser) {
    if (picture_) {
        picture_->Stop(iUser);
    }
    session_->CloseSlot(iUser);
}

void ConsoleHost::ClientServerSendMessage(MessageCode msg, const std::string& szData) {
    zaplo::ClientServerSendMessage(state_, msg, szData);
}

void ConsoleHost::JoinAnswered(int16_t iUser) {
    if (picture_) {
        picture_->Start(iUser);
    }
}

} // namespace zaplo
