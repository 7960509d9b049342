// SPDX-License-Identifier: MIT
#include "server/HeadlessServer.h"

#include <QDateTime>

#include <cstdio>
#include <utility>

namespace zaplo {

namespace {

void PrintError(const std::string& szReason) {
    std::fprintf(stderr, "zaplo-server: %s\n", szReason.c_str());
}

} // namespace

HeadlessServer::HeadlessServer(ServerOptions options, QProcessEnvironment env)
    : options_(std::move(options)), env_(std::move(env)),
      printer_(
          [](std::string_view szLine) {
              std::fwrite(szLine.data(), 1, szLine.size(), stdout);
              std::fflush(stdout);
          },
          [] { return QDateTime::currentDateTime(); }, [this] { return state_.GetTicks(); }),
      view_(
          [this](const std::string& szStatus) {
              szLastStatus_ = szStatus;
              if (bStarting_) {
                  heldBack_.push_back(szStatus);
              } else {
                  printer_.Print(szStatus);
              }
          },
          options_.bSendPicture),
      host_(state_, view_), control_(host_, view_), controlServer_(control_) {}

int HeadlessServer::Start() {
    // "Waiting for a client to join..." says the server is ready: it waits until every port
    // and the control socket are open.
    bStarting_ = true;
    const int nStatus = Open();
    bStarting_ = false;
    for (const std::string& szStatus : std::exchange(heldBack_, {})) {
        printer_.Print(szStatus);
    }
    return nStatus;
}

int HeadlessServer::Open() {
    state_.nMode = Mode::Server;
    state_.nPort = options_.nPort;
    state_.szNick = options_.szNick;
    state_.szListenHost = options_.szListen;
    state_.szTlsCert = options_.szTlsCert;
    state_.szTlsKey = options_.szTlsKey;
    state_.bRequireTls = options_.bRequireTls;
    const std::vector<std::string> refused =
        BanFile::Apply(options_.bans, options_.szBanFile,
                       [this](const std::string& szBan) { return host_.Access().AddBan(szBan); });
    for (const std::string& szLine : refused) {
        PrintError("--ban-file: " + szLine);
    }
    if (!refused.empty()) {
        return 2;
    }
    host_.Access().SetPassword(options_.szPassword);
    host_.Access().SetMaxUsers(options_.nMaxUsers);
    host_.Access().SetMaxPerAddress(options_.nMaxPerAddress);
    host_.SetSendPicture(options_.bSendPicture);
    host_.Start();
    if (!host_.Listening()) {
        const bool bPortProblem = szLastStatus_.starts_with("Cannot listen");
        const char* szHint = bPortProblem && options_.nPort < 1024
                                 ? "; use a port from 1024 to 32767, or grant CAP_NET_BIND_SERVICE"
                                 : "";
        PrintError(szLastStatus_ + szHint);
        return 1;
    }
    if (options_.nWebPort != 0) {
        web_ = std::make_unique<WebGateway>(state_, host_);
        if (!web_->Listen(options_.nWebPort)) {
            host_.Stop();
            PrintError(web_->Error());
            return 1;
        }
    }
    // A socket asked for must be had; the default place is a convenience, and a second server
    // of the same user runs on without one.
    const bool bAsked = !options_.szControlSocket.empty();
    const std::string szPath = bAsked ? options_.szControlSocket : ControlServer::DefaultPath(env_);
    if (std::string szError; !controlServer_.Listen(szPath, szError)) {
        if (bAsked) {
            host_.Stop();
            PrintError("--control-socket: " + szError);
            return 1;
        }
        PrintError("no control socket: " + szError);
    }
    return 0;
}

void HeadlessServer::Stop() {
    controlServer_.Close();
    web_.reset();
    host_.Stop();
}

} // namespace zaplo
