// SPDX-License-Identifier: MIT
#include "net/AdmissionPolicy.h"

namespace zaplo {

std::optional<std::string> AdmissionPolicy::AtAccept(const std::string& szKey, int nOpen,
                                                     bool bPassword, int32_t lNow) const {
    if (bans_.Contains(szKey)) {
        return kBanned;
    }
    if (bPassword && guesses_.Waiting(szKey, lNow)) {
        return kGuessing;
    }
    if (nMaxPerAddress_ > 0 && nOpen > nMaxPerAddress_) {
        return kCrowded;
    }
    return std::nullopt;
}

std::optional<std::string> AdmissionPolicy::AtJoin(int nJoined) const {
    if (nMaxUsers_ > 0 && nJoined >= nMaxUsers_) {
        return kFull;
    }
    return std::nullopt;
}

} // namespace zaplo
