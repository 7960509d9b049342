// SPDX-License-Identifier: MIT
#pragma once

#include <QSslSocket>

namespace zaplo {

// A browser's connection to the web port (plain, or TLS once StartServerEncryption has run)
// whose reading can be held: while paused it shows no bytes to whoever reads it, so a
// WebSocket on it takes no further frames, Qt stops reading once its read-ahead bound is full,
// and TCP's flow control holds the browser back like any peer that sends faster than the
// session takes.
class BrowserSocket : public QSslSocket {
    Q_OBJECT
public:
    using QSslSocket::QSslSocket;

    void Pause() { bPaused_ = true; }
    // Reading goes on, also with what arrived meanwhile.
    void Resume();
    bool Paused() const { return bPaused_; }

    qint64 bytesAvailable() const override;
    bool canReadLine() const override;

private:
    bool bPaused_ = false;
};

} // namespace zaplo
