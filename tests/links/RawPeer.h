#pragma once

#include <QByteArray>
#include <QTcpSocket>

#include <cstdint>

// A bare TCP client for checking the exact bytes on the wire. Everything it receives is kept
// in `got`.
class RawPeer : public QObject {
    Q_OBJECT
public:
    explicit RawPeer(uint16_t nPort);

    // Waits until connected (five seconds at most).
    bool WaitConnected();
    // Waits until `got` holds at least nBytes.
    bool WaitBytes(qsizetype nBytes, int nTimeoutMs = 5000);
    // Waits until `got` ends with szTail... or holds it anywhere.
    bool WaitContains(const QByteArray& szText, int nTimeoutMs = 5000);
    bool WaitClosed(int nTimeoutMs = 5000);
    void Send(const QByteArray& szData);
    // Takes what has come so far.
    QByteArray Take();

    QTcpSocket socket;
    QByteArray got;
    bool bClosed = false;
};
