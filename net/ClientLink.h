// SPDX-License-Identifier: MIT
#pragma once

#include "net/LinkSettings.h"

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
struct CertificateNote;

// The client side of a session: the one connection ws_connect to the server, the wait for it to
// come up, everything the server sends handed to the dispatcher, and the server's going away.
// Over TLS (AppState::bTls) the wait includes the handshake; a certificate nobody vouches for is
// put to the user (AppState::onCertificate) and, once accepted, the connection is made again.
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
    // the attempt has failed (refused, unknown host, certificate refused) or the deadline has
    // passed; on failure calls onConnectFailed. Always leaves bConnected true.
    void ClientConnect();
    bool Connected() const;
    // Whether the connection to the server is encrypted.
    bool Encrypted() const;
    void Send(std::string_view szText);
    void Close();

    std::function<void()> onConnectFailed;
    // After "Lost connection to server!".
    std::function<void()> onLost;

    // The status line for a refused certificate (Changed, NotPinned): names both fingerprints.
    static std::string RefusalText(const CertificateNote& note);

private:
    // One connection attempt and its wait; true once connected.
    bool Attempt();
    // After a failed attempt over TLS: the certificate put to the user, or its refusal told.
    // True once a further attempt is connected.
    bool Reconsider();
    void Lost();

    AppState& state_;
    PacketHost& host_;
    LinkSettings settings_;
    bool bWaiting_ = false;
    Connection* ws_connect_;
};

} // namespace zaplo
