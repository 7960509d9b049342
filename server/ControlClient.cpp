// SPDX-License-Identifier: MIT
#include "server/ControlClient.h"

#include "server/ControlCommand.h"
#include "server/ControlServer.h"
#include "server/PasswordFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcessEnvironment>

#include <cstdio>
#include <unistd.h>

namespace zaplo {

namespace {

ControlClient::Result Refused(std::string szError) {
    ControlClient::Result result;
    result.nStatus = 1;
    result.szError = std::move(szError);
    return result;
}

} // namespace

std::string ControlClient::FindPath(const QProcessEnvironment& env) {
    std::vector<std::string> places{ControlServer::DefaultPath(env)};
    const QString szXdg = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!szXdg.isEmpty()) {
        places.push_back((szXdg + QStringLiteral("/zaplo-server/control")).toStdString());
    }
    places.emplace_back("/run/zaplo-server/control");
    places.push_back((QDir::tempPath() + QStringLiteral("/zaplo-server-") +
                      QString::number(::geteuid()) + QStringLiteral("/control"))
                         .toStdString());
    for (const std::string& szPlace : places) {
        if (QFileInfo::exists(QString::fromStdString(szPlace))) {
            return szPlace;
        }
    }
    return places.front();
}

ControlClient::Result ControlClient::Run(const std::string& szPath, const ControlCommand& command) {
    const QDeadlineTimer deadline(kTimeoutMs);
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(szPath));
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        return Refused("cannot reach " + szPath + ": " + socket.errorString().toStdString() +
                       " (is zaplo-server running? --control-socket names its socket)");
    }
    const std::string szRequest = command.Line() + "\n";
    socket.write(szRequest.data(), static_cast<qint64>(szRequest.size()));
    // The server closes the connection after its answer.
    QByteArray answer;
    while (true) {
        answer += socket.readAll();
        if (static_cast<std::size_t>(answer.size()) > kMaxAnswer) {
            return Refused("the answer from " + szPath + " is too long");
        }
        if (socket.state() != QLocalSocket::ConnectedState) {
            answer += socket.readAll();
            break;
        }
        if (deadline.hasExpired()) {
            return Refused("no answer from " + szPath + " in time");
        }
        socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    }
    if (answer.startsWith("error ") && answer.endsWith('\n')) {
        return Refused(answer.mid(6).chopped(1).toStdString());
    }
    if (!answer.startsWith("ok\n") || !answer.endsWith('\n')) {
        return Refused("no proper answer from " + szPath);
    }
    Result result;
    const QByteArray body = answer.mid(3);
    if (!body.isEmpty()) {
        for (const QByteArray& line : body.chopped(1).split('\n')) {
            result.lines.push_back(line.toStdString());
        }
    }
    return result;
}

int ControlClient::Main(const std::vector<std::string>& args, const std::string& szSocket,
                        const QProcessEnvironment& env) {
    std::string szError;
    const std::optional<ControlCommand> command =
        ControlCommand::FromArguments(args, &PasswordFile::Read, szError);
    if (!command) {
        std::fprintf(stderr, "zaplo-server: --control: %s\n", szError.c_str());
        return 2;
    }
    const Result result = Run(szSocket.empty() ? FindPath(env) : szSocket, *command);
    if (result.nStatus != 0) {
        std::fprintf(stderr, "zaplo-server: %s\n", result.szError.c_str());
        return result.nStatus;
    }
    for (const std::string& szLine : result.lines) {
        std::fprintf(stdout, "%s\n", szLine.c_str());
    }
    return 0;
}

} // namespace zaplo
