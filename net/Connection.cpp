// SPDX-License-Identifier: MIT
#include "net/Connection.h"

#include "net/EventPump.h"
#include "net/core/MessageCode.h"
#include "net/core/PacketProc.h"

#include <utility>

namespace zaplo {

Connection::Connection(int16_t nOrigin, PacketHost& host, EventPump& pump, QObject* parent)
    : QObject(parent), nOrigin_(nOrigin), host_(host), pump_(pump) {
    connect(&socket_, &TcpSocket::DataArrival, this, &Connection::Readable);
    connect(&socket_, &TcpSocket::PeerClosed, this, [this] {
        bClosePending_ = true;
        Readable();
    });
}

void Connection::Readable() {
    if (onReadable) {
        onReadable();
    }
}

bool Connection::IsFree() const {
    return !bBusy_ && socket_.GetState() == TcpSocket::State::Closed;
}

void Connection::Reset() {
    ++nGeneration_;
    bClosePending_ = false;
    bJoined = false;
    buffer_ = ReceiveBuffer();
}

bool Connection::Accept(qintptr id) {
    Reset();
    socket_.SetLocalPort(0);
    return socket_.Accept(id);
}

void Connection::Connect(const std::string& szHost, int nPort) {
    Reset();
    socket_.SetRemoteHost(szHost);
    socket_.SetRemotePort(nPort);
    socket_.Connect();
}

void Connection::Close() {
    socket_.Close();
    Reset();
}

bool Connection::HasPending() const {
    return bClosePending_ || socket_.BytesAvailable() > 0;
}

bool Connection::Serve(qint64 nBudget) {
    if (bBusy_) {
        // Already being served further up the stack; its caller serves it again.
        return true;
    }
    bBusy_ = true;
    pump_.Begin();
    const quint64 nGeneration = nGeneration_;
    std::string szData = socket_.Read(nBudget);
    const int16_t nOuter = pnServing != nullptr ? std::exchange(*pnServing, nOrigin_) : 0;
    if (!szData.empty()) {
        buffer_.Append(std::move(szData));
        DispatchLines(buffer_.TakeLines(), nGeneration);
    } else if (bClosePending_) {
        bClosePending_ = false;
        if (onPeerClosed) {
            onPeerClosed();
        }
    }
    if (pnServing != nullptr) {
        *pnServing = nOuter;
    }
    pump_.End();
    bBusy_ = false;
    return HasPending();
}

void Connection::DispatchLines(std::string_view szLines, quint64 nGeneration) {
    // Checked before every line, so that a connection closed in the middle (its own leave, or a
    // client dropped for not reading, while a relay let events run) has nothing more dispatched
    // in its name.
    zaplo::DispatchLines(szLines, nOrigin_, host_,
                         [this, nGeneration] { return nGeneration == nGeneration_; });
}

} // namespace zaplo
