// SPDX-License-Identifier: MIT
#include "net/BridgeRegistry.h"

namespace zaplo {

bool BridgeRegistry::Add(uint16_t nPort, std::string szKey) {
    if (nPort == 0 || szKey.empty()) {
        return false;
    }
    return keys_.try_emplace(nPort, std::move(szKey)).second;
}

void BridgeRegistry::Remove(uint16_t nPort) {
    keys_.erase(nPort);
}

std::optional<std::string> BridgeRegistry::KeyOf(uint16_t nPort) const {
    if (nPort == 0) {
        return std::nullopt;
    }
    const auto it = keys_.find(nPort);
    if (it == keys_.end()) {
        return std::nullopt;
    }
    return it->second;
}

} // namespace zaplo
