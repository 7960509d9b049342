// SPDX-License-Identifier: MIT
#include "net/SendQueue.h"

#include "base/AppState.h"

#include <utility>

namespace zaplo {

void ClientServerSendMessage(AppState& state, MessageCode msg, const std::string& szData) {
    std::string szLine;
    szLine.reserve(WireCode(msg).size() + szData.size());
    szLine.append(WireCode(msg)).append(szData);
    state.colSendQueue.push_back(std::move(szLine));
    // Nothing drains the queue while the link is down, so bound it there.
    while (!state.bConnected && state.colSendQueue.size() > kMaxQueuedWhileDown) {
        state.colSendQueue.pop_front();
    }
    if (state.onQueued) {
        state.onQueued();
    }
}

} // namespace zaplo
