// SPDX-License-Identifier: MIT
#include "web/BrowserSocket.h"

namespace zaplo {

void BrowserSocket::Resume() {
    if (!bPaused_) {
        return;
    }
    bPaused_ = false;
    // What arrived while paused raises no new signal of its own.
    if (QSslSocket::bytesAvailable() > 0) {
        Q_EMIT readyRead();
    }
}

qint64 BrowserSocket::bytesAvailable() const {
    return bPaused_ ? 0 : QSslSocket::bytesAvailable();
}

bool BrowserSocket::canReadLine() const {
    return !bPaused_ && QSslSocket::canReadLine();
}

} // namespace zaplo
