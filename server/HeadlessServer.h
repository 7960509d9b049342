// SPDX-License-Identifier: MIT
#pragma once

#include "base/AppState.h"
#include "net/SessionHost.h"
#include "server/ConsoleView.h"
#include "server/ControlServer.h"
#include "server/ServerOptions.h"
#include "server/SessionControl.h"
#include "server/StatusPrinter.h"
#include "web/WebGateway.h"

#include <QProcessEnvironment>

#include <memory>
#include <string>
#include <vector>

namespace zaplo {

// zaplo-server's session as its options make it: the host with its view printing status lines,
// who may join, and the control socket.
class HeadlessServer {
public:
    HeadlessServer(ServerOptions options, QProcessEnvironment env);
    HeadlessServer(const HeadlessServer&) = delete;
    HeadlessServer& operator=(const HeadlessServer&) = delete;

    // Sets the session up and listens: 0, or the exit status once the reason is on standard
    // error (1: the port or the control socket could not be had, 2: a setting is wrong).
    int Start();
    // Closes the control socket and every connection.
    void Stop();

private:
    int Open();

    ServerOptions options_;
    QProcessEnvironment env_;
    AppState state_;
    StatusPrinter printer_;
    std::string szLastStatus_;
    // Status lines of the start, printed once it is over.
    bool bStarting_ = false;
    std::vector<std::string> heldBack_;
    ConsoleView view_;
    SessionHost host_;
    SessionControl control_;
    ControlServer controlServer_;
    // Browsers join through a gateway of their own, only when asked for.
    std::unique_ptr<WebGateway> web_;
};

} // namespace zaplo
