// SPDX-License-Identifier: MIT
#pragma once

#include <QLocalServer>
#include <QObject>

#include <string>

class QLocalSocket;
class QProcessEnvironment;

namespace zaplo {

class ControlTarget;

// The operator's way into a running zaplo-server: a local socket (never on the network) that
// only the server's own user and root may open, in a folder of mode 0700 that this user owns.
// A connection carries one request line (ControlCommand) and gets one answer, then is closed:
//   ok LF, then one line per result          or          error REASON LF
// Even a local peer is not trusted: a request has a length bound and a deadline, a peer of
// another user is closed unheard, and only a few connections are served at a time. The
// answer's lines are plain text (a nickname is a network peer's bytes).
class ControlServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 5000;
    static constexpr int kMaxPeers = 8;
    // Longest line of an answer, in characters.
    static constexpr qsizetype kMaxAnswerChars = 4096;

    explicit ControlServer(ControlTarget& target, QObject* parent = nullptr);
    ~ControlServer() override;
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Makes the socket at szPath (its folder too, when missing). A socket left behind by a
    // server that ended is replaced; one that answers is another server's. False and a one-line
    // reason when the socket cannot be made or is not closed to others.
    bool Listen(const std::string& szPath, std::string& szError);
    // Removes the socket; nothing more is served.
    void Close();
    const std::string& Path() const { return szPath_; }

    // Where a server's socket is unless it is told: the service's runtime directory (systemd's
    // $RUNTIME_DIRECTORY), else $XDG_RUNTIME_DIR/zaplo-server, else a folder of this user's in
    // the temporary directory.
    static std::string DefaultPath(const QProcessEnvironment& env);

private:
    void Accept();
    void Serve(QLocalSocket* socket);
    void Read(QLocalSocket* socket);
    void Answer(QLocalSocket* socket, const std::string& szAnswer);

    ControlTarget& target_;
    std::string szPath_;
    int nPeers_ = 0;
    // Last: its connections go first, while the count they keep is still there.
    QLocalServer server_;
};

} // namespace zaplo
