#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

namespace zaplo {

class AppState;
class PacketHost;

// The network side of one main-window session: the server's socket slots (ws_user), the client's
// socket (ws_connect) and the 1 ms send timer (timerSendMsgs). Created by the main window and
// destroyed with it, which closes every connection.
class NetSession : public QObject {
    Q_OBJECT
public:
    NetSession(AppState& state, PacketHost& host, QObject* parent = nullptr);
    ~NetSession() override;

    // Shows "Connection failed!" and waits for the user; set by the window.
    std::function<void()> onConnectFailed;

    // Server: logs "Waiting for a client to join..." and listens on nPort.
    void ServerWait();
    // Client: logs "Connecting...", connects and waits (at most 60,000 ms); always leaves
    // bConnected true, calling onConnectFailed when the wait fails.
    void ClientConnect();

    void ServerSendToClient(const std::string& szData, int16_t iUser);
    void CloseSlot(int16_t iUser);
    // The Exit command's first step: in server mode with bConnected, closes slots 0..nUsers and
    // ws_connect.
    void CloseForExit();
    // One tick of timerSendMsgs.
    void SendQueueTick();

    // Port the server actually listens on (useful when nPort is 0 in tests); 0 if not listening.
    uint16_t ListeningPort() const;

private:
    AppState& state_;
    PacketHost& host_;
};

} // namespace zaplo
