// SPDX-License-Identifier: MIT
#pragma once

#include "net/HostAccess.h"
#include "net/core/PacketHost.h"
#include "net/core/UserList.h"

#include <QObject>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zaplo {

class AppState;
class NetSession;
class PictureSender;
class SessionPassword;
class SessionView;

// What a session's host is, whatever shows it: the user list with the slots of its rows, the
// dispatcher's way to the links, the outgoing queue, the picture for newcomers and the removal
// of a user. The main window and the headless server each put a view (SessionView) on it.
//
// On a client it is the same thing with the server's user list and one link; relaying,
// answering and the picture are the server's alone.
//
// Who may join is the host's to decide (HostAccess); a refused connection receives nothing else
// of the session and never appears in a list.
class SessionHost : public QObject, public PacketHost {
    Q_OBJECT
public:
    // Starts nothing yet; the session's sockets and send timer live as long as this.
    SessionHost(AppState& state, SessionView& view, QObject* parent = nullptr);
    ~SessionHost() override;
    SessionHost(const SessionHost&) = delete;
    SessionHost& operator=(const SessionHost&) = delete;

    // The session's start: on the server its own row and listening, on a client connecting and
    // queueing the join.
    void Start();
    // Closes every connection (on the server the listener too), as the Exit command does;
    // nobody's departure is announced.
    void Stop();
    // Whether the server got its port; the status lines say why not.
    bool Listening() const;

    // The local user's chat line, shown at once on the server and queued for everybody.
    void SendChat(const std::string& szText);
    // The local user's Clear: the own canvas now, everybody else's through the queue.
    void ClearCanvas();
    // Server: closes slot iUser's connection, announced as any departure.
    void Disconnect(int16_t iUser);
    // Server: sends the picture to each newcomer after its join's answer (off by default; only
    // with a view that keeps a picture).
    void SetSendPicture(bool bOn);
    bool SendsPicture() const { return bSendPicture_; }

    // Server: who may join (password, bans, limits).
    HostAccess& Access() { return *access_; }
    const HostAccess& Access() const { return *access_; }
    // Client: how long a client with a password waits for the challenge before it joins anyway
    // (tests set less). Longer than a server that also serves TLS waits for a silent plain
    // connection's first bytes (3 s) before it takes it for plain and challenges it.
    static constexpr int kChallengeWaitMs = 5000;
    void SetChallengeWait(int nMs) { nChallengeWaitMs_ = nMs; }

    NetSession& Session() { return *session_; }
    const NetSession& Session() const { return *session_; }
    const UserList& Users() const { return users_; }
    // What the picture feed has sent to newcomers so far: records and bytes.
    std::size_t PictureRecordsSent() const;
    std::size_t PictureBytesSent() const;
    // Nothing of the picture waits to go out.
    bool PictureIdle() const;

    // The dispatcher's side.
    void SendToChatBox(const std::string& szMessage) override;
    void Status(const std::string& szMessage) override;
    void AddUsername(const std::string& szUser, int16_t iSlot) override;
    void RemoveUsername(int16_t iUser) override;
    std::optional<std::string> SlotNickname(int16_t iUser) const override;
    bool SlotJoined(int16_t iUser) const override;
    void RefreshUserlist() override;
    std::vector<std::string> UserRows() const override;
    void DrawSegment(const DrawRecord& record) override;
    void EraseCanvas() override;
    int16_t HighestSlot() const override;
    void ServerSendToClient(const std::string& szData, int16_t iUser) override;
    void CloseSlot(int16_t iUser) override;
    void ClientServerSendMessage(MessageCode msg, const std::string& szData) override;
    void JoinAnswered(int16_t iUser) override;
    void Challenge(const std::string& szChallenge) override;
    bool Answered(int16_t iUser, const std::string& szAnswer) override;
    std::optional<std::string> JoinRefusal(int16_t iUser) override;
    void Refuse(int16_t iUser, const std::string& szWhy) override;

private:
    bool IsServer() const;
    // Client: the join, after the answer when there is one to give.
    void QueueJoin();
    void ClientLost();

    AppState& state_;
    SessionView& view_;
    UserList users_;
    bool bSendPicture_ = false;
    // Client side of the password.
    QTimer challengeWait_;
    int nChallengeWaitMs_ = kChallengeWaitMs;
    bool bJoinQueued_ = false;
    bool bJoinAnswered_ = false;
    std::optional<std::string> szChallenge_;
    std::string szLastStatus_;
    // The feed reports to the session while it closes, so both go before the rest.
    std::unique_ptr<NetSession> session_;
    std::unique_ptr<HostAccess> access_;
    std::unique_ptr<PictureSender> picture_;
};

} // namespace zaplo
