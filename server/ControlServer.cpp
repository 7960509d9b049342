// SPDX-License-Identifier: MIT
#include "server/ControlServer.h"

#include "server/ControlCommand.h"
#include "server/PlainLine.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QProcessEnvironment>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zaplo {

namespace {

// The request read so far and whether it has been answered; kept on the socket.
constexpr const char* kBuffer = "zaploRequest";
constexpr const char* kAnswered = "zaploAnswered";

std::string Mode(mode_t nMode) {
    char szMode[8];
    std::snprintf(szMode, sizeof szMode, "%04o", static_cast<unsigned>(nMode & 07777));
    return szMode;
}

// Owned by this user and open to nobody else.
bool Private(const struct stat& st, const std::string& szWhat, std::string& szError) {
    if (st.st_uid != ::geteuid()) {
        szError = szWhat + " belongs to another user";
        return false;
    }
    if ((st.st_mode & 077) != 0) {
        szError = szWhat + " is open to other users (mode " + Mode(st.st_mode) + ")";
        return false;
    }
    return true;
}

// The peer at the other end runs as this user or as root.
bool PeerAllowed(qintptr fd) {
    struct ucred cred {};
    socklen_t nSize = sizeof cred;
    if (::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &cred, &nSize) != 0) {
        return false;
    }
    return cred.uid == ::geteuid() || cred.uid == 0;
}

} // namespace

ControlServer::ControlServer(ControlTarget& target, QObject* parent)
    : QObject(parent), target_(target) {
    connect(&server_, &QLocalServer::newConnection, this, &ControlServer::Accept);
}

ControlServer::~ControlServer() {
    Close();
}

std::string ControlServer::DefaultPath(const QProcessEnvironment& env) {
    // systemd gives each runtime directory of the unit, separated by colons.
    const QString szRuntime =
        env.value(QStringLiteral("RUNTIME_DIRECTORY")).section(QLatin1Char(':'), 0, 0);
    if (!szRuntime.isEmpty()) {
        return (szRuntime + QStringLiteral("/control")).toStdString();
    }
    const QString szXdg = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!szXdg.isEmpty()) {
        return (szXdg + QStringLiteral("/zaplo-server/control")).toStdString();
    }
    return (QDir::tempPath() + QStringLiteral("/zaplo-server-") + QString::number(::geteuid()) +
            QStringLiteral("/control"))
        .toStdString();
}

bool ControlServer::Listen(const std::string& szPath, std::string& szError) {
    const QString szSocket = QFileInfo(QString::fromStdString(szPath)).absoluteFilePath();
    const std::string szDir = QFileInfo(szSocket).absolutePath().toStdString();
    const std::string szFile = szSocket.toStdString();
    if (::mkdir(szDir.c_str(), 0700) != 0 && errno != EEXIST) {
        szError = "cannot make the folder " + szDir + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(szDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        szError = szDir + " is not a folder";
        return false;
    }
    if (!Private(st, "the folder " + szDir, szError)) {
        szError += "; it must be this user's, mode 0700";
        return false;
    }
    if (::lstat(szFile.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            szError = szFile + " exists and is not a socket";
            return false;
        }
        QLocalSocket probe;
        probe.connectToServer(szSocket);
        if (probe.waitForConnected(1000)) {
            szError = szFile + " is another zaplo-server's (choose another with --control-socket)";
            return false;
        }
        // Left behind by a server that did not end cleanly.
        QLocalServer::removeServer(szSocket);
    }
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(szSocket)) {
        szError =
            "cannot make the control socket " + szFile + ": " + server_.errorString().toStdString();
        return false;
    }
    if (::lstat(szFile.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) ||
        !Private(st, "the control socket " + szFile, szError)) {
        if (szError.empty()) {
            szError = "the control socket " + szFile + " is not there after it was made";
        }
        server_.close();
        return false;
    }
    szPath_ = szFile;
    return true;
}

void ControlServer::Close() {
    if (server_.isListening()) {
        server_.close();
        QLocalServer::removeServer(QString::fromStdString(szPath_));
    }
}

void ControlServer::Accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        if (nPeers_ >= kMaxPeers || !PeerAllowed(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Serve(socket);
    }
}

void ControlServer::Serve(QLocalSocket* socket) {
    ++nPeers_;
    connect(socket, &QObject::destroyed, this, [this] { --nPeers_; });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A peer that neither asks nor reads its answer in time is let go.
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    deadline->start(kTimeoutMs);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
    Read(socket);
}

void ControlServer::Read(QLocalSocket* socket) {
    if (socket->property(kAnswered).toBool()) {
        // One request per connection: whatever follows is not looked at.
        (void)socket->readAll();
        return;
    }
    QByteArray buffer = socket->property(kBuffer).toByteArray();
    buffer += socket->read(static_cast<qint64>(ControlCommand::kMaxLine) - buffer.size());
    const qsizetype nEnd = buffer.indexOf('\n');
    if (nEnd < 0) {
        if (static_cast<std::size_t>(buffer.size()) >= ControlCommand::kMaxLine) {
            Answer(socket, "error the request is longer than " +
                               std::to_string(ControlCommand::kMaxLine - 1) + " bytes\n");
            return;
        }
        socket->setProperty(kBuffer, buffer);
        return;
    }
    socket->setProperty(kAnswered, true);
    socket->setProperty(kBuffer, QVariant());
    QByteArray line = buffer.left(nEnd);
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    std::string szError;
    const std::optional<ControlCommand> command =
        ControlCommand::Parse(std::string_view(line.constData(), line.size()), szError);
    if (!command) {
        Answer(socket, "error " + PlainLine::Make(szError, kMaxAnswerChars) + "\n");
        return;
    }
    // What the command does may let events run (a departure is sent at once); the peer may
    // be gone when it returns.
    const QPointer<QLocalSocket> alive(socket);
    const ControlCommand::Reply reply = command->Run(target_);
    if (!alive) {
        return;
    }
    if (!reply.bOk) {
        Answer(socket, "error " + PlainLine::Make(reply.szError, kMaxAnswerChars) + "\n");
        return;
    }
    std::string szAnswer = "ok\n";
    for (const std::string& szLine : reply.lines) {
        szAnswer += PlainLine::Make(szLine, kMaxAnswerChars) + "\n";
    }
    Answer(socket, szAnswer);
}

void ControlServer::Answer(QLocalSocket* socket, const std::string& szAnswer) {
    socket->setProperty(kAnswered, true);
    socket->write(szAnswer.data(), static_cast<qint64>(szAnswer.size()));
    // Closes once the answer is out; the deadline still holds for a peer that does not read.
    socket->disconnectFromServer();
}

} // namespace zaplo
