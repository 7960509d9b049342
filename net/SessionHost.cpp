// SPDX-License-Identifier: MIT
#include "net/SessionHost.h"

#include "base/AppState.h"
#include "net/HostAccess.h"
#include "net/NetSession.h"
#include "net/PictureSender.h"
#include "net/SendQueue.h"
#include "net/SessionPassword.h"
#include "net/SessionView.h"
#include "net/core/PacketProc.h"

#include <algorithm>
#include <utility>

namespace zaplo {

SessionHost::SessionHost(AppState& state, SessionView& view, QObject* parent)
    : QObject(parent), state_(state), view_(view) {
    state_.nUsers = 0;
    session_ = std::make_unique<NetSession>(state_, *this);
    session_->onConnectFailed = [this] { view_.ConnectFailed(); };
    access_ = std::make_unique<HostAccess>(state_, *session_);
    session_->onAccepted = [this](int16_t iUser) { access_->Accepted(iUser); };
    session_->refuseAtDoor = [this](const std::string& szKey) { return access_->AtDoor(szKey); };
    session_->onHostLost = [this] { ClientLost(); };
    challengeWait_.setSingleShot(true);
    connect(&challengeWait_, &QTimer::timeout, this, &SessionHost::QueueJoin);
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
        if (state_.szSessionPassword) {
            access_->SetPassword(state_.szSessionPassword);
        }
        if (state_.nMaxUsers > 0) {
            access_->SetMaxUsers(state_.nMaxUsers);
        }
        AddUsername(state_.szNick, 0);
        session_->ServerWait();
        return;
    }
    session_->ClientConnect();
    // With a password the join waits for the challenge, which may have come during the wait
    // for the connection already; without one it goes at once, as always.
    if (state_.szSessionPassword && !szChallenge_ && session_->ClientConnected()) {
        challengeWait_.start(nChallengeWaitMs_);
    } else {
        QueueJoin();
    }
}

void SessionHost::QueueJoin() {
    if (bJoinQueued_) {
        return;
    }
    bJoinQueued_ = true;
    challengeWait_.stop();
    if (state_.szSessionPassword && szChallenge_) {
        ClientServerSendMessage(MessageCode::Answer, SessionPassword::AnswerFor(
                                                         *state_.szSessionPassword, *szChallenge_));
    }
    ClientServerSendMessage(MessageCode::Join, state_.szNick);
}

void SessionHost::Challenge(const std::string& szChallenge) {
    // Only the first challenge counts, and only one of the right form.
    if (IsServer() || szChallenge_ || !SessionPassword::IsChallenge(szChallenge)) {
        return;
    }
    szChallenge_ = szChallenge;
    if (challengeWait_.isActive()) {
        QueueJoin();
    }
}

void SessionHost::ClientLost() {
    // Closed before the join was answered, for the password's sake: the view may ask for one.
    const bool bNeeds = szLastStatus_ == AdmissionPolicy::kNeedsPassword;
    const bool bWrong = szLastStatus_ == AdmissionPolicy::kWrongPassword;
    if (bJoinAnswered_ || !szChallenge_ || (!bNeeds && !bWrong)) {
        return;
    }
    // From the event loop: the view may end this session in answer.
    QTimer::singleShot(0, this, [this, bWrong] { view_.PasswordNeeded(bWrong); });
}

bool SessionHost::Answered(int16_t iUser, const std::string& szAnswer) {
    return access_->Answered(iUser, szAnswer);
}

std::optional<std::string> SessionHost::JoinRefusal(int16_t iUser) {
    return access_->JoinRefusal(iUser);
}

void SessionHost::Refuse(int16_t iUser, const std::string& szWhy) {
    session_->Refuse(iUser, szWhy);
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
    // The client's last word from the server, to tell why it was closed; the link's own line
    // for the close comes after it.
    if (!IsServer() && szMessage != "Lost connection to server!") {
        szLastStatus_ = szMessage;
    }
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
    // A client's join is answered with the user list.
    bJoinAnswered_ = true;
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
