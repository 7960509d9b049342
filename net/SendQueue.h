#pragma once

#include <string>

namespace zaplo {

class AppState;

// Most messages kept while the link is down; beyond it the oldest are dropped.
inline constexpr std::size_t kMaxQueuedWhileDown = 100000;

// Appends szMsg + szData to the outgoing queue. Sends nothing and tests nothing else.
void ClientServerSendMessage(AppState& state, const std::string& szMsg, const std::string& szData);

} // namespace zaplo
