// SPDX-License-Identifier: MIT
#pragma once

#include "net/AdmissionPolicy.h"
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
// Who may join is the host's to decide, and nothing of it happens unless it is asked for: a
// session password (each new connection gets a challenge, "{12}" and 32 hex digits, and must
// answer it with the HMAC before its join counts), bans by address, a user limit and a cap on
// connections per address. A refused connection is told why in one status line and closed; it
// receives nothing else of the session and never appears in a list. Wrong answers make their
// address wait (GuessLimiter); while it waits its answers are not even looked at.
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

    // Server: who may join. A password (none: open) applies to connections from now on.
    void SetPassword(std::optional<std::string> szPassword);
    bool HasPassword() const;
    // 0: no limit.
    void SetMaxUsers(int nMax);
    void SetMaxPerAddress(int nMax);
    // Disconnects slot iUser (announced as any departure) and refuses its address for the rest
    // of the session; false when the slot is not connected.
    bool Ban(int16_t iUser);
    // False: not an address or prefix (or banned already, or the list is full).
    bool AddBan(const std::string& szAddressOrPrefix);
    // False: no such ban.
    bool Unban(const std::string& szAddressOrPrefix);
    // Text forms, in the order banned.
    std::vector<std::string> Bans() const;
    // Text form of slot iUser's address key ("192.0.2.7", "2001:db8:1:2::/64"); empty when the
    // slot is not connected.
    std::string AddressOf(int16_t iUser) const;
    // Answers to challenges actually compared so far.
    int64_t PasswordChecks() const { return nChecks_; }
    // Client: how long a client with a password waits for the challenge before it joins anyway
    // (tests set less).
    static constexpr int kChallengeWaitMs = 3000;
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
    // What the host knows of one slot's current connection; reset when the slot takes a new one.
    struct SlotAccess {
        // The password in force when it was accepted; none: it was not challenged.
        std::shared_ptr<const SessionPassword> password;
        std::string szChallenge;
        bool bAnswered = false;
        bool bProven = false;
    };

    bool IsServer() const;
    void Accepted(int16_t iUser);
    SlotAccess* Access(int16_t iUser);
    // Client: the join, after the answer when there is one to give.
    void QueueJoin();
    void ClientLost();

    AppState& state_;
    SessionView& view_;
    UserList users_;
    bool bSendPicture_ = false;
    AdmissionPolicy admission_;
    std::shared_ptr<const SessionPassword> password_;
    std::vector<SlotAccess> access_;
    int64_t nChecks_ = 0;
    // Client side of the password.
    QTimer challengeWait_;
    int nChallengeWaitMs_ = kChallengeWaitMs;
    bool bJoinQueued_ = false;
    bool bJoinAnswered_ = false;
    std::optional<std::string> szChallenge_;
    std::string szLastStatus_;
    // The feed reports to the session while it closes, so both go before the rest.
    std::unique_ptr<NetSession> session_;
    std::unique_ptr<PictureSender> picture_;
};

} // namespace zaplo
