// SPDX-License-Identifier: MIT
#pragma once

#include "net/EventPump.h"

#include <QTcpSocket>

#include <cstddef>
#include <string>
#include <string_view>

namespace zaplo {

class TcpSocket;
class TlsServerSession;

// What a TcpSocket has been asked to send, on its way to the system: the sends gathered while
// an EventPump's work runs, handed over in one piece, and the counts of bytes handed over and
// of bytes the Qt socket's own buffer held after the last hand-over.
class SocketSender {
public:
    void SetPump(EventPump* pump) { pump_ = pump; }

    // Adds the bytes. True when they are to be handed over now; false while the pump's work
    // runs, which hands them over for owner later (it is told once per batch).
    bool Gather(TcpSocket& owner, std::string_view szText, std::string_view szEnd) {
        pending_.append(szText);
        pending_.append(szEnd);
        if (pump_ != nullptr && pump_->InWork()) {
            if (!bDeferred_) {
                bDeferred_ = true;
                pump_->Defer(&owner);
            }
            return false;
        }
        return true;
    }
    // Hands the gathered bytes to socket, the connection's (a TLS one when bTls), as far as the
    // system takes them now; without bConnected they are dropped. With a session they are
    // encrypted by it first and go out on the plain socket.
    void HandOver(QTcpSocket& socket, bool bTls, bool bConnected,
                  TlsServerSession* session = nullptr);
    // Hands bytes that are ready for the wire (a TLS session's own) to the plain socket, after
    // whatever it holds already.
    void Write(QTcpSocket& socket, std::string_view szBytes);
    // owner goes away: the pump hands nothing over for it any more.
    void Forget(TcpSocket& owner);

    // Bytes the socket holds that the system has not taken.
    static qint64 Queued(const QTcpSocket& socket, bool bTls);
    // What the socket's buffer holds now, after a flush or a close.
    void SetHeld(qint64 nBytes) { nHeld_ = nBytes; }
    // Bytes the system has taken from the socket's buffer.
    void CountWritten(qint64 nBytes) { nHandedOver_ += nBytes; }
    // Bytes the system has taken, ever.
    qint64 HandedOver() const { return nHandedOver_; }
    std::size_t Gathered() const { return pending_.size(); }
    // A cheap test that is false only when the socket's buffer and the gathered sends hold at
    // most nBytes.
    bool MayHoldMoreThan(qint64 nBytes) const {
        return nHeld_ + static_cast<qint64>(pending_.size()) > nBytes;
    }

private:
    EventPump* pump_ = nullptr;
    // Sends gathered during the pump's work; bDeferred_ while the pump knows of them.
    std::string pending_;
    bool bDeferred_ = false;
    // What the socket's own buffer held after the last hand-over: it only shrinks until the
    // next one.
    qint64 nHeld_ = 0;
    qint64 nHandedOver_ = 0;
    // A TLS session's records on their way to the system; kept between batches.
    std::string cipher_;
};

} // namespace zaplo
