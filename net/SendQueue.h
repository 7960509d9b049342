// SPDX-License-Identifier: MIT
#pragma once

#include "net/core/MessageCode.h"

#include <cstddef>
#include <string>

namespace zaplo {

class AppState;

// Most messages kept while the link is down; beyond it the oldest are dropped.
inline constexpr std::size_t kMaxQueuedWhileDown = 100000;

// Appends the code's wire text + szData to the outgoing queue. Sends nothing and tests nothing
// else.
void ClientServerSendMessage(AppState& state, MessageCode msg, const std::string& szData);

} // namespace zaplo
