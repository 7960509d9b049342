// SPDX-License-Identifier: MIT
#include "net/ClientLink.h"

#include "base/AppState.h"
#include "base/Ticks.h"
#include "net/Connection.h"
#include "net/ReadScheduler.h"
#include "net/core/PacketHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

namespace zaplo {

ClientLink::ClientLink(AppState& state, PacketHost& host, EventPump& pump, ReadScheduler& reader,
                       QObject* parent)
    : QObject(parent), state_(state), host_(host),
      ws_connect_(new Connection(-1, host, pump, this)) {
    // During the wait a close is a failed attempt, which the wait itself tells.
    ws_connect_->onPeerClosed = [this] {
        if (!bWaiting_) {
            Lost();
        }
    };
    reader.Add(ws_connect_);
    ws_connect_->Socket().SetPump(&pump);
    ws_connect_->Socket().SetSettings(&settings_);
}

void ClientLink::ClientConnect() {
    host_.Status("Connecting...");
    settings_.LoadClient(state_);
    bWaiting_ = true;
    const bool bUp = Attempt() || Reconsider();
    bWaiting_ = false;
    if (!bUp) {
        // Give up the attempt too, so it cannot come up behind the user's back.
        ws_connect_->Close();
        if (onConnectFailed) {
            onConnectFailed();
        }
    }
    state_.bConnected = true;
}

bool ClientLink::Attempt() {
    ws_connect_->Close();
    const int32_t lDeadline = TicksAfter(state_.GetTicks(), kConnectTimeoutMs);
    ws_connect_->Connect(state_.szServerIP, state_.nPort);

    // Sleeps until something happens (the connection, a failure, any other event) or the
    // wake-up timer fires, then looks at the socket and the clock again.
    QTimer wake;
    wake.start(kWakeMs);
    for (;;) {
        const TcpSocket::State state = ws_connect_->Socket().GetState();
        if (state == TcpSocket::State::Connected) {
            return true;
        }
        if (state != TcpSocket::State::Connecting) {
            // Refused, unknown host, a failed handshake, or gone again at once: nothing left to
            // wait for.
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (TicksPast(state_.GetTicks(), lDeadline)) {
            return false;
        }
    }
}

bool ClientLink::Reconsider() {
    const std::optional<CertificateNote> note = ws_connect_->Socket().CertificateQuestion();
    ws_connect_->Close();
    if (!note) {
        return false;
    }
    if (note->kind != CertificateNote::Kind::Ask) {
        host_.Status(RefusalText(*note));
        if (state_.onCertificate) {
            state_.onCertificate(*note);
        }
        return false;
    }
    // Asked once; no answer means no.
    if (!state_.onCertificate || !state_.onCertificate(*note)) {
        return false;
    }
    if (!settings_.Remember(*note)) {
        host_.Status("The accepted certificate could not be kept in " +
                     QDir::toNativeSeparators(LinkSettings::KnownHostsPath()).toStdString() +
                     "; it is taken for this run only.");
    }
    if (Attempt()) {
        return true;
    }
    // Changed again in between: told, never asked twice.
    const std::optional<CertificateNote> again = ws_connect_->Socket().CertificateQuestion();
    if (again && again->kind != CertificateNote::Kind::Ask) {
        host_.Status(RefusalText(*again));
    }
    return false;
}

std::string ClientLink::RefusalText(const CertificateNote& note) {
    if (note.kind == CertificateNote::Kind::NotPinned) {
        return "The certificate of " + note.szHost + " is not the one asked for (" + note.szKnown +
               "); it shows " + note.szFingerprint + ". Not joined.";
    }
    return "The certificate of " + note.szHost + " has changed since it was accepted (" +
           note.szKnown + "); it now shows " + note.szFingerprint +
           ". Not joined: somebody may be in between.";
}

bool ClientLink::Connected() const {
    return ws_connect_->Socket().IsConnected();
}

bool ClientLink::Encrypted() const {
    return ws_connect_->Socket().Encrypted();
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
    if (onLost) {
        onLost();
    }
}

} // namespace zaplo
