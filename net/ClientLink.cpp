#include "net/ClientLink.h"

#include "base/AppState.h"
#include "base/Ticks.h"
#include "net/Connection.h"
#include "net/ReadScheduler.h"
#include "net/core/PacketHost.h"

#include <QCoreApplication>
#include <QTimer>

namespace zaplo {

ClientLink::ClientLink(AppState& state, PacketHost& host, EventPump& pump, ReadScheduler& reader,
                       QObject* parent)
    : QObject(parent), state_(state), host_(host),
      ws_connect_(new Connection(-1, host, pump, this)) {
    ws_connect_->onPeerClosed = [this] { Lost(); };
    reader.Add(ws_connect_);
    ws_connect_->Socket().SetPump(&pump);
}

void ClientLink::ClientConnect() {
    host_.Status("Connecting...");
    ws_connect_->Close();
    const int32_t lDeadline = TicksAfter(state_.GetTicks(), kConnectTimeoutMs);
    ws_connect_->Connect(state_.szServerIP, state_.nPort);

    // Sleeps until something happens (the connection, a failure, any other event) or the
    // wake-up timer fires, then looks at the socket and the clock again.
    QTimer wake;
    wake.start(kWakeMs);
    bool bFailed = false;
    for (;;) {
        const TcpSocket::State state = ws_connect_->Socket().GetState();
        if (state == TcpSocket::State::Connected) {
            break;
        }
        if (state != TcpSocket::State::Connecting) {
            // Refused, unknown host, or gone again at once: nothing left to wait for.
            bFailed = true;
            break;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (TicksPast(state_.GetTicks(), lDeadline)) {
            bFailed = true;
            break;
        }
    }
    wake.stop();
    if (bFailed) {
        // Give up the attempt too, so it cannot come up behind the user's back.
        ws_connect_->Close();
        if (onConnectFailed) {
            onConnectFailed();
        }
    }
    state_.bConnected = true;
}

bool ClientLink::Connected() const {
    return ws_connect_->Socket().IsConnected();
}

void ClientLink::Send(std::string_view szText) {
    ws_connect_->Socket().Send(szText);
}

void ClientLink::Close() {
    ws_connect_->Close();
}

void ClientLink::Lost() {
    host_.Status("Lost connection to server!");
    state_.bConnected = false;
    ws_connect_->Close();
}

} // namespace zaplo
