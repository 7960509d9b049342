#include "net/SendQueue.h"

#include "app/AppState.h"

namespace zaplo {

void ClientServerSendMessage(AppState& state, const std::string& szMsg, const std::string& szData) {
    state.colSendQueue.push_back(szMsg + szData);
    // Nothing drains the queue while the link is down, so bound it there.
    while (!state.bConnected && state.colSendQueue.size() > kMaxQueuedWhileDown) {
        state.colSendQueue.pop_front();
    }
}

} // namespace zaplo
