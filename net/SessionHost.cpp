#include "net/SessionHost.h"

#include "base/AppState.h"
#include "net/NetSession.h"
#include "net/PictureSender.h"
#include "net/SendQueue.h"
#include "net/SessionView.h"

#include <algorithm>
#include <utility>

namespace zaplo {

SessionHost::SessionHost(AppState& state, SessionView& view, QObject* parent)
    : QObject(parent), state_(state), view_(view) {
    state_.nUsers = 0;
    session_ = std::make_unique<NetSession>(state_, *this);
    session_->onConnectFailed = [this] { view_.ConnectFailed(); };
}

SessionHost::~SessionHost() {
    picture_.reset();
    session_.reset();
}

bool SessionHost::IsServer() const {
    return state_.nMode == Mode::Server;
}

void SessionHost::Start() {
    if (IsServer()) {
        AddUsername(state_.szNick, 0);
        session_->ServerWait();
    } else {
        session_->ClientConnect();
        ClientServerSendMessage(MessageCode::Join, state_.szNick);
    }
}

void SessionHost::Stop() {
    session_->CloseForExit();
    if (IsServer()) {
        // Before the first client came the Exit above closes nothing; the listener goes anyway.
        session_->CloseSlot(0);
    }
}

bool SessionHost::Listening() const {
    return session_->ListeningPort() != 0;
}

void SessionHost::SendChat(const std::string& szText) {
    std::string szLine = "{" + state_.szNick + "}" + szText;
    // A CR LF inside the line would end the message early and turn the rest into a message of
    // its own; pasted line breaks travel as blanks.
    std::replace_if(
        szLine.begin(), szLine.end(), [](char ch) { return ch == '\r' || ch == '\n'; }, ' ');
    if (IsServer()) {
        view_.SendToChatBox(szLine);
    }
    ClientServerSendMessage(MessageCode::Chat, szLine);
}

void SessionHost::ClearCanvas() {
    view_.EraseCanvas();
    ClientServerSendMessage(MessageCode::Clear, "");
}

void SessionHost::Disconnect(int16_t iUser) {
    if (IsServer() && iUser > 0) {
        session_->Disconnect(iUser);
    }
}

void SessionHost::SetSendPicture(bool bOn) {
    bSendPicture_ = bOn && IsServer();
    if (!bSendPicture_ || picture_) {
        return;
    }
    std::optional<SessionView::Picture> kept = view_.KeptPicture();
    if (!kept) {
        bSendPicture_ = false;
        return;
    }
    picture_ =
        std::make_unique<PictureSender>(kept->nRows, kept->background, std::move(kept->readRow));
    picture_->held = [this](int16_t iUser) { return session_->HeldForSlot(iUser); };
    picture_->send = [this](const std::string& szData, int16_t iUser) {
        session_->ServerSendToClient(szData, iUser);
    };
}

std::size_t SessionHost::PictureRecordsSent() const {
    return picture_ ? picture_->RecordsSent() : 0;
}

std::size_t SessionHost::PictureBytesSent() const {
    return picture_ ? picture_->BytesSent() : 0;
}

bool SessionHost::PictureIdle() const {
    return !picture_ || picture_->Idle();
}

void SessionHost::SendToChatBox(const std::string& szMessage) {
    view_.SendToChatBox(szMessage);
}

void SessionHost::Status(const std::string& szMessage) {
    view_.Status(szMessage);
}

void SessionHost::AddUsername(const std::string& szUser, int16_t iSlot) {
    users_.Add(szUser, iSlot);
    if (IsServer() && iSlot > 0) {
        session_->MarkJoined(iSlot);
    }
    view_.AddUsername(szUser, iSlot);
}

void SessionHost::RemoveUsername(int16_t iUser) {
    if (users_.Remove(iUser)) {
        view_.RemoveUsername(iUser);
    }
}

std::optional<std::string> SessionHost::SlotNickname(int16_t iUser) const {
    return users_.Nickname(iUser);
}

bool SessionHost::SlotJoined(int16_t iUser) const {
    return users_.Has(iUser);
}

void SessionHost::RefreshUserlist() {
    users_.Clear();
    view_.RefreshUserlist();
}

std::vector<std::string> SessionHost::UserRows() const {
    return users_.Names();
}

void SessionHost::DrawSegment(const DrawRecord& record) {
    view_.DrawSegment(record);
}

void SessionHost::EraseCanvas() {
    view_.EraseCanvas();
}

int16_t SessionHost::HighestSlot() const {
    return state_.nUsers;
}

void SessionHost::ServerSendToClient(const std::string& szData, int16_t iUser) {
    session_->ServerSendToClient(szData, iUser);
}

void SessionHost::CloseSlot(int16_t iUser) {
    if (picture_) {
        picture_->Stop(iUser);
    }
    view_.SlotClosed(iUser);
    session_->CloseSlot(iUser);
}

void SessionHost::ClientServerSendMessage(MessageCode msg, const std::string& szData) {
    zaplo::ClientServerSendMessage(state_, msg, szData);
}

void SessionHost::JoinAnswered(int16_t iUser) {
    if (picture_ && bSendPicture_) {
        picture_->Start(iUser);
    }
}

} // namespace zaplo
