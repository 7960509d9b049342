#pragma once

#include "net/core/PacketHost.h"
#include "net/core/UserList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zaplo {

class AppState;
class NetSession;
class PictureSender;
class PixelCanvas;

// The server's side of a session without a window: what the main window does in server mode,
// on the same dispatcher and server link, minus everything that is only shown. It keeps the user
// list (its own nickname first, on slot 0) and hands each status line the window would log to
// onStatus. Chat lines and strokes are relayed and echoed as by the window, but not kept: there
// is no chat box, and a canvas only when the picture goes to newcomers.
class ConsoleHost : public PacketHost {
public:
    using StatusSink = std::function<void(const std::string&)>;

    // Takes state.szNick, nPort and szListenHost as they are; sets server mode. With
    // bSendPicture the host keeps the canvas and sends it to each newcomer after its join's
    // answer, as the window's "Send Picture to Newcomers" does.
    ConsoleHost(AppState& state, StatusSink onStatus, bool bSendPicture = false);
    ~ConsoleHost() override;
    ConsoleHost(const ConsoleHost&) = delete;
    ConsoleHost& operator=(const ConsoleHost&) = delete;

    // What the main window does last when it is created: the host's own row, then listening.
    void Start();
    // Whether Start got the port; the status lines say why not.
    bool Listening() const;
    // Closes every connection and the listener, as the window's Exit does; nobody's departure is
    // announced.
    void Stop();

    NetSession& Session() { return *session_; }
    const UserList& Users() const { return users_; }
    // The kept canvas; null without bSendPicture.
    const PixelCanvas* Canvas() const { return canvas_.get(); }
    // Null without bSendPicture.
    const PictureSender* Picture() const { return picture_.get(); }

    void SendToChatBox(const std::string& szMessage) override;
    void Status(const std::string& szMessage) override;
    void AddUsername(const std::string& szUser, int16_t iSlot) override;
    void RemoveUsername(int16_t iUser) override;
    std::optional<std::string> SlotNickname(int16_t iUser) const override;
    void RefreshUserlist() override;
    std::vector<std::string> UserRows() const override;
    void DrawSegment(const DrawRecord& record) override;
    void EraseCanvas() override;
    int16_t HighestSlot() const override;
    void ServerSendToClient(const std::string& szData, int16_t iUser) override;
    void CloseSlot(int16_t iUser) override;
    void ClientServerSendMessage(MessageCode msg, const std::string& szData) override;
    void JoinAnswered(int16_t iUser) override;

private:
    AppState& state_;
    StatusSink onStatus_;
    UserList users_;
    std::unique_ptr<NetSession> session_;
    std::unique_ptr<PixelCanvas> canvas_;
    std::unique_ptr<PictureSender> picture_;
};

} // namespace zaplo
