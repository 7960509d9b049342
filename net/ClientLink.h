#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <string_view>

namespace zaplo {

class AppState;
class Connection;
class EventPump;
class PacketHost;
class ReadScheduler;

// The client side of a session: the one connection ws_connect to the server, the wait for it to
// come up, everything the server sends handed to the dispatcher, and the server's going away.
class ClientLink : public QObject {
    Q_OBJECT
public:
    // How long the connection may take to come up, on the program's tick counter.
    static constexpr int32_t kConnectTimeoutMs = 60000;
    // The wait blocks for events and wakes at least this often to read the clock again.
    static constexpr int kWakeMs = 20;

    ClientLink(AppState& state, PacketHost& host, EventPump& pump, ReadScheduler& reader,
               QObject* parent = nullptr);

    // Logs "Connecting...", connects to szServerIP:nPort and waits until the connection is up,
    // the attempt has failed (refused, unknown host) or the deadline has passed; on failure
    // calls onConnectFailed. Always leaves bConnected true.
    void ClientConnect();
    bool Connected() const;
    void Send(std::string_view szText);
    void Close();

    std::function<void()> onConnectFailed;

private:
    void Lost();

    AppState& state_;
    PacketHost& host_;
    Connection* ws_connect_;
};

} // namespace zaplo
