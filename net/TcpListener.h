#pragma once

#include <QTcpServer>

namespace zaplo {

// The listening half of a TcpSocket. Every incoming connection is handed on as a request
// identifier (the accepted descriptor) instead of being turned into a QTcpSocket here, so the
// program decides which slot takes it.
//
// When the process runs out of file descriptors, Qt stops accepting. The listener then sheds
// the waiting connection with the help of a spare descriptor kept for that purpose, so the
// client sees a closed connection instead of hanging, and accepting resumes.
class TcpListener : public QTcpServer {
    Q_OBJECT
public:
    explicit TcpListener(QObject* parent = nullptr);
    ~TcpListener() override;

    // Delay before accepting again when shedding was not possible.
    static constexpr int kResumeDelayMs = 100;

    // Connections closed unaccepted because no descriptor was left.
    int Shed() const { return nShed_; }

Q_SIGNALS:
    void ConnectionRequest(qintptr id);

protected:
    void incomingConnection(qintptr handle) override;

private:
    void OnAcceptError(QAbstractSocket::SocketError error);
    bool ShedOne();
    void OpenSpare();

    int spareFd_ = -1;
    int nShed_ = 0;
};

} // namespace zaplo
