// SPDX-License-Identifier: MIT
#include "net/core/PacketProc.h"

#include "net/core/DrawPacket.h"
#include "net/core/MessageCode.h"
#include "net/core/PacketHost.h"
#include "net/core/PacketParams.h"
#include "net/core/PeerRules.h"
#include "net/core/ReceiveBuffer.h"

#include <functional>
#include <optional>
#include <string_view>
#include <utility>

namespace zaplo {

namespace {

// Sends szData (one line, or lines joined by CR LF) on to every other slot. The upper bound is
// taken once: slots created while a send lets events run are not part of this relay.
void Relay(const std::string& szData, int16_t nOrigin, PacketHost& host) {
    const int nTop = host.HighestSlot();
    for (int i = 1; i <= nTop; ++i) {
        if (i != nOrigin) {
            host.ServerSendToClient(szData, static_cast<int16_t>(i));
        }
    }
}

// Consecutive relayed lines of one block, kept joined by CR LF so that each receiver gets them in
// one send: the link adds the final CR LF, so the bytes are those of one send per line.
class RelayBatch {
public:
    void Add(std::string_view szLine) {
        if (!szBatch_.empty()) {
            szBatch_ += kCrLf;
        }
        szBatch_ += szLine;
    }
    bool Empty() const { return szBatch_.empty(); }
    void Flush(int16_t nOrigin, PacketHost& host) {
        if (szBatch_.empty()) {
            return;
        }
        // Each call has its own batch: events a send runs cannot reach this one.
        Relay(szBatch_, nOrigin, host);
        szBatch_.clear();
    }

private:
    std::string szBatch_;
};

// The name a join from nOrigin is taken with, or none: one join per connection (PeerRules), a
// name the nickname box could hold, and only while the user list stays within the line bound.
// A refused join is skipped like a malformed line: a repeated one would cost every peer a relay
// and the sender a user list.
std::optional<std::string> JoinedName(std::string_view szNick, const PacketHost& host) {
    std::optional<std::string> szName = PeerRules::JoinName(szNick);
    if (!szName) {
        return std::nullopt;
    }
    std::size_t nList = WireCode(MessageCode::UserList).size() + szName->size() + 1;
    for (const std::string& szRow : host.UserRows()) {
        nList += szRow.size() + 1;
    }
    if (nList > ReceiveBuffer::kMaxLine) {
        return std::nullopt;
    }
    return szName;
}

enum class Joined { Taken, Skipped, Refused };

Joined HandleJoin(std::string_view szNick, int16_t nOrigin, bool bOn, PacketHost& host) {
    std::string szName(szNick);
    if (bOn) {
        std::optional<std::string> szTaken = JoinedName(szNick, host);
        if (!szTaken) {
            return Joined::Skipped;
        }
        if (std::optional<std::string> szWhy = host.JoinRefusal(nOrigin)) {
            host.Refuse(nOrigin, *szWhy);
            return Joined::Refused;
        }
        szName = std::move(*szTaken);
    }
    host.AddUsername(szName, nOrigin);
    const std::string szJoined = szName + " has joined!";
    host.Status(szJoined);
    if (!bOn) {
        return Joined::Taken;
    }
    Relay(std::string(WireCode(MessageCode::Join)) + szName, nOrigin, host);
    host.ServerSendToClient(std::string(WireCode(MessageCode::Status)) + szJoined, nOrigin);
    host.ServerSendToClient(std::string(WireCode(MessageCode::UserList)) + GetUsersPacket(host),
                            nOrigin);
    host.JoinAnswered(nOrigin);
    return Joined::Taken;
}

// A client's chat line: on the server shown and echoed under the name its sender joined with.
void HandleChat(std::string_view payload, int16_t nOrigin, bool bOn, PacketHost& host) {
    if (!bOn) {
        host.SendToChatBox(std::string(payload));
        return;
    }
    const std::optional<std::string> szName = host.SlotNickname(nOrigin);
    if (!szName) {
        return;
    }
    const std::string szLine = PeerRules::ChatUnder(payload, *szName);
    host.SendToChatBox(szLine);
    host.ClientServerSendMessage(MessageCode::Chat, szLine);
}

// A client's socket has closed. A slot that never joined owns no row and goes silently.
void HandleLeave(int16_t nOrigin, PacketHost& host) {
    host.CloseSlot(nOrigin);
    bool bAny = false;
    // Bounded by the row count in case a host fails to remove a row.
    for (std::size_t n = host.UserRows().size(); n > 0; --n) {
        const std::optional<std::string> szNick = host.SlotNickname(nOrigin);
        if (!szNick) {
            break;
        }
        bAny = true;
        const std::string szLeft = *szNick + " has been disconnected!";
        host.Status(szLeft);
        host.ClientServerSendMessage(MessageCode::Status, szLeft);
        host.RemoveUsername(nOrigin);
    }
    if (bAny) {
        host.ClientServerSendMessage(MessageCode::UserList, GetUsersPacket(host));
    }
}

enum class Next { Continue, Stop };

// Acts on one line of a known code: shows it, answers it and, on the server, relays it.
Next Handle(MessageCode code, std::string_view szLine, std::string_view payload, int16_t nOrigin,
            PacketHost& host, RelayBatch& batch, bool& bJoined) {
    const bool bOn = nOrigin != -1;
    switch (code) {
    case MessageCode::Chat:
        HandleChat(payload, nOrigin, bOn, host);
        break;
    case MessageCode::Join:
        switch (HandleJoin(payload, nOrigin, bOn, host)) {
        case Joined::Taken:
            bJoined = true;
            break;
        case Joined::Skipped:
            break;
        case Joined::Refused:
            return Next::Stop;
        }
        break;
    case MessageCode::Answer:
        if (!bOn) {
            host.Challenge(std::string(payload));
        } else if (!host.Answered(nOrigin, std::string(payload))) {
            return Next::Stop;
        }
        break;
    case MessageCode::Leave:
        // Departures are the server's own (PacketLeave); a client never gets one.
        break;
    case MessageCode::UserList:
        host.RefreshUserlist();
        ExtractUsersPacket(payload, host, nOrigin);
        break;
    case MessageCode::Status:
        host.Status(std::string(payload));
        break;
    case MessageCode::Draw:
        if (const std::optional<DrawRecord> record = ReadDrawPacket(payload)) {
            host.DrawSegment(*record);
            if (bOn) {
                batch.Add(szLine);
            }
        }
        break;
    case MessageCode::Clear:
        host.EraseCanvas();
        if (bOn) {
            batch.Add(szLine);
        }
        break;
    }
    return Next::Continue;
}

// Dispatches one line (without its CR LF). Draw records and clears a client sent go into batch;
// every other line first sends what the batch holds, so each receiver gets the lines in the
// order they were read.
Next Dispatch(std::string_view szLine, int16_t nOrigin, PacketHost& host, RelayBatch& batch,
              const std::function<bool()>& bOpen, bool& bJoined) {
    const bool bOn = nOrigin != -1;
    const std::size_t brace = szLine.find('}');
    if (brace == std::string_view::npos) {
        return Next::Continue;
    }
    const std::optional<MessageCode> code = ParseCode(szLine.substr(0, brace + 1));
    if (!code) {
        return Next::Continue;
    }
    // A view: a draw record, by far the most common line, is only read and needs no copy.
    const std::string_view payload = szLine.substr(brace + 1);
    if (bOn && PeerRules::ForCode(*code, bJoined) == PeerRules::Verdict::Skip) {
        return Next::Continue;
    }
    if (bOn && *code != MessageCode::Draw && *code != MessageCode::Clear && !batch.Empty()) {
        batch.Flush(nOrigin, host);
        // The sends let events run: the connection may be gone now.
        if (!bOpen()) {
            return Next::Stop;
        }
    }
    return Handle(*code, szLine, payload, nOrigin, host, batch, bJoined);
}

} // namespace

bool NicknameFits(std::string_view szNick) {
    if (szNick.size() > kMaxNickBytes) {
        return false;
    }
    std::size_t nUnits = 0;
    for (const char ch : szNick) {
        const auto byte = static_cast<unsigned char>(ch);
        if ((byte & 0xC0U) != 0x80U) {
            // A character starts here; four-byte ones take two UTF-16 units.
            nUnits += byte >= 0xF0U ? 2 : 1;
        }
    }
    return nUnits <= kMaxNickChars;
}

void DispatchLines(std::string_view szLines, int16_t nOrigin, PacketHost& host,
                   const std::function<bool()>& bOpen) {
    RelayBatch batch;
    bool bJoined = nOrigin != -1 && host.SlotJoined(nOrigin);
    while (bOpen()) {
        const std::size_t end = szLines.find(kCrLf);
        if (end == std::string_view::npos) {
            break;
        }
        const std::string_view szLine = szLines.substr(0, end);
        szLines.remove_prefix(end + kCrLf.size());
        if (Dispatch(szLine, nOrigin, host, batch, bOpen, bJoined) == Next::Stop) {
            break;
        }
    }
    batch.Flush(nOrigin, host);
}

void PacketLeave(int16_t nOrigin, PacketHost& host) {
    HandleLeave(nOrigin, host);
}

void PacketProc(std::string& szPacket, int16_t nOrigin, PacketHost& host) {
    // The block is taken over so that nothing the host does meanwhile can touch it.
    const std::string szBlock = std::exchange(szPacket, std::string());
    const std::size_t lastEnd = szBlock.rfind(kCrLf);
    if (lastEnd == std::string::npos) {
        szPacket = szBlock;
        return;
    }
    DispatchLines(std::string_view(szBlock).substr(0, lastEnd + kCrLf.size()), nOrigin, host,
                  [] { return true; });
    szPacket = szBlock.substr(lastEnd + kCrLf.size());
}

} // namespace zaplo
