// SPDX-License-Identifier: MIT
#include "net/core/PeerRules.h"

#include "net/core/PacketProc.h"

#include <algorithm>

namespace zaplo {

PeerRules::Verdict PeerRules::ForCode(MessageCode code, bool bJoined) {
    switch (code) {
    case MessageCode::Join:
    case MessageCode::Answer:
        return bJoined ? Verdict::Skip : Verdict::Handle;
    case MessageCode::Chat:
    case MessageCode::Draw:
    case MessageCode::Clear:
        return bJoined ? Verdict::Handle : Verdict::Skip;
    case MessageCode::Leave:
    case MessageCode::UserList:
    case MessageCode::Status:
        return Verdict::Skip;
    }
    return Verdict::Skip;
}

std::optional<std::string> PeerRules::JoinName(std::string_view szNick) {
    if (!NicknameFits(szNick)) {
        return std::nullopt;
    }
    std::string szName(szNick);
    std::replace(szName.begin(), szName.end(), kListSeparator, kSeparatorStandIn);
    return szName;
}

std::string PeerRules::ChatUnder(std::string_view szPayload, std::string_view szName) {
    const std::size_t nClaim = szName.size() + 2;
    if (szPayload.size() >= nClaim && szPayload.front() == '{' &&
        szPayload.substr(1, szName.size()) == szName && szPayload[nClaim - 1] == '}') {
        return std::string(szPayload);
    }
    std::string_view szText = szPayload;
    if (szText.starts_with('{')) {
        const std::size_t nEnd = szText.find('}');
        szText.remove_prefix(nEnd == std::string_view::npos ? 0 : nEnd + 1);
    }
    std::string szLine;
    szLine.reserve(nClaim + szText.size());
    szLine += '{';
    szLine += szName;
    szLine += '}';
    szLine += szText;
    return szLine;
}

} // namespace zaplo
