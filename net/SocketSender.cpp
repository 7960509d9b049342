// SPDX-License-Identifier: MIT
#include "net/SocketSender.h"

#include "net/SocketDescriptor.h"
#include "net/TlsServerSession.h"

#include <QSslSocket>

#include <algorithm>

namespace zaplo {

namespace {

// Gathered sends keep their buffer between batches up to this size.
constexpr std::size_t kKeptCapacity = std::size_t{256} * 1024;
// TLS takes a batch in pieces of about one record each, encrypted and handed to the system one
// after the other: one large write would grow the TLS library's buffer and Qt's to the batch's
// size, copying and faulting in fresh memory for every batch.
constexpr std::size_t kTlsPiece = std::size_t{16} * 1024;

} // namespace

void SocketSender::HandOver(QTcpSocket& socket, bool bTls, bool bConnected,
                            TlsServerSession* session) {
    bDeferred_ = false;
    if (pending_.empty()) {
        return;
    }
    if (session != nullptr && bConnected) {
        for (std::size_t nAt = 0; nAt < pending_.size(); nAt += kTlsPiece) {
            const std::size_t nPiece = std::min(kTlsPiece, pending_.size() - nAt);
            if (!session->Encrypt(std::string_view(pending_).substr(nAt, nPiece))) {
                break;
            }
            cipher_.clear();
            session->TakeOutgoing(cipher_);
            Write(socket, cipher_);
        }
    } else if (bTls && bConnected) {
        // Encrypted at once and handed to the system as far as it takes it.
        for (std::size_t nAt = 0; nAt < pending_.size(); nAt += kTlsPiece) {
            const std::size_t nPiece = std::min(kTlsPiece, pending_.size() - nAt);
            socket.write(pending_.data() + nAt, static_cast<qint64>(nPiece));
            socket.flush();
        }
    } else if (bConnected) {
        Write(socket, pending_);
    }
    nHeld_ = Queued(socket, bTls);
    pending_.clear();
    if (pending_.capacity() > kKeptCapacity) {
        pending_ = std::string();
    }
}

void SocketSender::Write(QTcpSocket& socket, std::string_view szBytes) {
    if (socket.bytesToWrite() == 0) {
        // Nothing waits in the socket's own buffer, so the system may take the bytes straight
        // from here without changing their order; that spares a copy.
        const std::size_t nSent = SocketDescriptor::SendNow(socket.socketDescriptor(), szBytes);
        // Qt reports no bytesWritten for these: they count as handed over here.
        nHandedOver_ += static_cast<qint64>(nSent);
        szBytes.remove_prefix(nSent);
    }
    if (!szBytes.empty()) {
        // What the system does not take now waits in the socket, which also deals with any
        // error.
        socket.write(szBytes.data(), static_cast<qint64>(szBytes.size()));
    }
    nHeld_ = socket.bytesToWrite();
}

void SocketSender::Forget(TcpSocket& owner) {
    if (bDeferred_ && pump_ != nullptr) {
        pump_->Forget(&owner);
    }
}

qint64 SocketSender::Queued(const QTcpSocket& socket, bool bTls) {
    if (bTls) {
        const auto& ssl = static_cast<const QSslSocket&>(socket);
        return ssl.bytesToWrite() + ssl.encryptedBytesToWrite();
    }
    return socket.bytesToWrite();
}

} // namespace zaplo
