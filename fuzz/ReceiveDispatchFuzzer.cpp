// SPDX-License-Identifier: MIT
// One connection's byte stream, cut into pieces at data-driven places, through the receive buffer
// and the dispatcher as a server slot or as a client. Whatever the cuts, the same lines must come
// out and the dispatcher must do the same things; relays must be the received bytes.
//
// Input: byte 0 picks the origin (-1, 1, 2 or 3, low two bits) and which slots (bits 2 to 4 for
// slots 1 to 3) are dropped at the first send to them, as the link drops a client that does not
// read: their leave then runs nested inside the send. Byte 1 gives the number of pieces n (0 to
// 15); then n
// big-endian 16-bit piece lengths; the rest is the stream, in which 0xFF hi lo repeats the byte
// before it hi * 256 + lo times, so lines around the length bound are within reach.

#include "fuzz/FuzzCheck.h"
#include "net/core/MessageCode.h"
#include "net/core/PacketProc.h"
#include "net/core/PeerRules.h"
#include "net/core/ReceiveBuffer.h"
#include "tests/support/FakeHost.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zaplo {
namespace {

constexpr int16_t kUsers = 3;
constexpr std::size_t kMaxLine = ReceiveBuffer::kMaxLine;
constexpr std::size_t kMaxStream = 4 * kMaxLine + 4096;

// The fake host, plus what the link does: a slot marked for dropping leaves inside the first
// send to it, and once the delivering slot is closed nothing more is dispatched in its name.
class SlotHost : public FakeHost {
public:
    SlotHost(int16_t nOrigin, unsigned nDropMask) : nOrigin_(nOrigin), nDropMask_(nDropMask) {
        nUsers = kUsers;
        SetRows({{"host", 0}});
        onSend = [this](int16_t iUser) {
            if (iUser == nOrigin_) {
                rowsAtAnswer[calls.size() - 1] = UserRows();
            }
            const unsigned bit = 1U << iUser;
            if ((nDropMask_ & bit) != 0 && (nDropped_ & bit) == 0) {
                nDropped_ |= bit;
                std::string szLeave =
                    std::string(WireCode(MessageCode::Leave)) + std::string(kCrLf);
                PacketProc(szLeave, iUser, *this);
            }
        };
    }
    void CloseSlot(int16_t iUser) override {
        FakeHost::CloseSlot(iUser);
        bClosed = bClosed || iUser == nOrigin_;
    }
    bool MayClose(int16_t iUser) const {
        return iUser == nOrigin_ || (nDropMask_ & (1U << iUser)) != 0;
    }
    bool bClosed = false;
    // The user list when each answer to the delivering slot was sent, by its place in calls.
    std::map<std::size_t, std::vector<std::string>> rowsAtAnswer;

private:
    int16_t nOrigin_;
    unsigned nDropMask_;
    unsigned nDropped_ = 0;
};

// The host's calls by what sees them, so that logs can be compared whatever the cuts: a run of
// relayed lines goes to each receiver in one send, so the interleaving of sends to different
// slots and of the server's own drawing depends on where the blocks end, while what each slot
// receives, line by line in order, what the canvas draws, and everything else in order do not.
struct Calls {
    FakeHost::Lines local;                        // Draw and Erase
    FakeHost::Lines rest;                         // all else but sends
    std::array<FakeHost::Lines, kUsers + 1> sent; // per slot, one entry per line sent
    bool operator==(const Calls&) const = default;
};

struct Outcome {
    std::string taken; // every line the buffer handed out, in order
    Calls calls;
    std::vector<std::string> rows;
};

bool HasCrLf(std::string_view s) {
    return s.find(kCrLf) != std::string_view::npos;
}

bool StartsWithCode(std::string_view line, MessageCode code) {
    return line.starts_with(WireCode(code));
}

bool IsLocal(const std::string& call) {
    return call.starts_with("Draw:") || call == "Erase";
}

// The lines of one send (the link ends it with CR LF, so inner CR LF separate lines).
std::vector<std::string> SentLines(std::string_view data) {
    std::vector<std::string> lines;
    for (std::size_t end; (end = data.find(kCrLf)) != std::string_view::npos;) {
        lines.emplace_back(data.substr(0, end));
        data.remove_prefix(end + kCrLf.size());
    }
    lines.emplace_back(data);
    return lines;
}

Calls Project(const FakeHost::Lines& log) {
    Calls calls;
    for (const std::string& c : log) {
        if (c.starts_with("Send")) {
            for (std::string& line : SentLines(std::string_view(c).substr(6))) {
                calls.sent[static_cast<std::size_t>(c[4] - '0')].push_back(std::move(line));
            }
        } else {
            (IsLocal(c) ? calls.local : calls.rest).push_back(c);
        }
    }
    return calls;
}

// What a client does with what the server sent it (lines joined by CR LF).
FakeHost::Lines OnClient(const std::string& szData) {
    FakeHost client;
    std::string szBlock = szData + std::string(kCrLf);
    PacketProc(szBlock, -1, client);
    return client.calls;
}

// A received line as it is relayed: a join goes on under its mended name.
std::string AsRelayed(std::string_view szLine) {
    std::string szOut(szLine);
    if (StartsWithCode(szOut, MessageCode::Join)) {
        std::replace(szOut.begin() + 3, szOut.end(), PeerRules::kListSeparator,
                     PeerRules::kSeparatorStandIn);
    }
    return szOut;
}

// The effects of dispatching one block of lines (each with its CR LF), calls[from..] of the host.
void CheckEffects(std::string_view block, int16_t nOrigin, const SlotHost& host, std::size_t from) {
    const bool bServer = nOrigin != -1;
    FakeHost::Lines local;                       // what the server drew
    std::array<std::string, kUsers + 1> relayed; // per other slot, every line joined by CR LF
    std::string lastRelay;                       // the line of the last relay, to any slot
    for (std::size_t k = from; k < host.calls.size(); ++k) {
        const std::string& c = host.calls[k];
        if (c.starts_with("Send")) {
            FUZZ_REQUIRE(bServer);
            const std::size_t colon = c.find(':');
            FUZZ_REQUIRE(colon == 5);
            const int iSlot = c[4] - '0';
            const std::string data = c.substr(colon + 1);
            FUZZ_REQUIRE(iSlot >= 1 && iSlot <= kUsers);
            if (iSlot != nOrigin) {
                // A relay: received lines of a code that is passed on; only draw records and
                // clears go several to a send.
                const std::vector<std::string> lines = SentLines(data);
                for (const std::string& line : lines) {
                    FUZZ_REQUIRE(StartsWithCode(line, MessageCode::Draw) ||
                                 StartsWithCode(line, MessageCode::Clear) ||
                                 (lines.size() == 1 && StartsWithCode(line, MessageCode::Join)));
                }
                std::string& all = relayed[static_cast<std::size_t>(iSlot)];
                all += (all.empty() ? "" : std::string(kCrLf)) + data;
                lastRelay = lines.back();
            } else {
                // The answer to a join, after its relay: status line, then the list the server
                // now holds.
                FUZZ_REQUIRE(!HasCrLf(data));
                FUZZ_REQUIRE(StartsWithCode(lastRelay, MessageCode::Join));
                FUZZ_REQUIRE(StartsWithCode(data, MessageCode::Status) ||
                             StartsWithCode(data, MessageCode::UserList));
                const std::vector<std::string>& names = host.rowsAtAnswer.at(k);
                const bool bSplits = std::any_of(names.begin(), names.end(), [](const auto& n) {
                    return n.find(';') != std::string::npos;
                });
                if (StartsWithCode(data, MessageCode::UserList) && !bSplits) {
                    FakeHost client;
                    std::string szBlock = data + std::string(kCrLf);
                    PacketProc(szBlock, -1, client);
                    FUZZ_REQUIRE(client.UserRows() == names);
                }
            }
            continue;
        }
        if (c.starts_with("Queue:")) {
            FUZZ_REQUIRE(bServer);
            FUZZ_REQUIRE(!HasCrLf(c));
        } else if (c.starts_with("Close:")) {
            FUZZ_REQUIRE(bServer && c.size() == 7 &&
                         host.MayClose(static_cast<int16_t>(c[6] - '0')));
        } else if (c == "Refresh") {
            FUZZ_REQUIRE(!bServer); // a client's user list never reaches the server's list
        }
        if (IsLocal(c)) {
            local.push_back(c);
        }
    }
    if (!bServer) {
        return;
    }
    // Every other slot got the same lines, each byte for byte a line of the block, in the
    // block's order; a client draws and clears them exactly as the server did.
    const std::size_t first = nOrigin == 1 ? 2 : 1;
    for (std::size_t i = 1; i <= kUsers; ++i) {
        if (static_cast<int16_t>(i) != nOrigin) {
            FUZZ_REQUIRE(relayed[i] == relayed[first]);
        }
    }
    std::string_view rest = block;
    if (!relayed[first].empty()) {
        for (const std::string& line : SentLines(relayed[first])) {
            std::size_t end;
            while ((end = rest.find(kCrLf)) != std::string_view::npos &&
                   AsRelayed(rest.substr(0, end)) != line) {
                rest.remove_prefix(end + kCrLf.size());
            }
            FUZZ_REQUIRE(end != std::string_view::npos);
            rest.remove_prefix(end + kCrLf.size());
        }
    }
    FakeHost::Lines drawn;
    if (!relayed[first].empty()) {
        for (const std::string& c : OnClient(relayed[first])) {
            if (IsLocal(c)) {
                drawn.push_back(c);
            }
        }
    }
    FUZZ_REQUIRE(drawn == local);
}

// Feeds the stream in pieces of the given lengths (the rest in one piece), taking and
// dispatching the lines after every piece as a connection does. The pieces go in as views, or
// as strings handed over (bMove), as the connection does.
Outcome Feed(std::string_view stream, const std::vector<std::size_t>& pieces, int16_t nOrigin,
             unsigned nDropMask, bool bMove) {
    ReceiveBuffer buffer;
    SlotHost host(nOrigin, nDropMask);
    Outcome out;
    std::vector<std::size_t> lengths = pieces;
    lengths.push_back(stream.size());
    for (const std::size_t length : lengths) {
        const std::string_view piece = stream.substr(0, length);
        stream.remove_prefix(piece.size());
        const std::size_t before = buffer.Buffered();
        if (bMove) {
            buffer.Append(std::string(piece));
        } else {
            buffer.Append(piece);
        }
        FUZZ_REQUIRE(buffer.Buffered() <= before + piece.size());
        const std::string lines = buffer.TakeLines();
        FUZZ_REQUIRE(buffer.Buffered() <= kMaxLine + 1);
        FUZZ_REQUIRE(lines.empty() || lines.ends_with(kCrLf));
        out.taken += lines;
        for (std::string_view rest = lines; !rest.empty();) {
            const std::size_t end = rest.find(kCrLf);
            FUZZ_REQUIRE(end <= kMaxLine);
            rest.remove_prefix(end + kCrLf.size());
        }
        const std::size_t from = host.calls.size();
        DispatchLines(lines, nOrigin, host, [&host] { return !host.bClosed; });
        CheckEffects(lines, nOrigin, host, from);
        if (stream.empty()) {
            break;
        }
    }
    out.calls = Project(host.calls);
    out.rows = host.UserRows();
    return out;
}

// The lines of a whole stream as they should come out: cut at each CR LF in turn, lines longer
// than the bound left out, the unfinished tail held back.
std::string ExpectedLines(std::string_view stream) {
    std::string lines;
    for (std::size_t end; (end = stream.find(kCrLf)) != std::string_view::npos;) {
        if (end <= kMaxLine) {
            lines += stream.substr(0, end + kCrLf.size());
        }
        stream.remove_prefix(end + kCrLf.size());
    }
    return lines;
}

} // namespace
} // namespace zaplo

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace zaplo;
    if (size < 2) {
        return 0;
    }
    static constexpr int16_t kOrigins[] = {-1, 1, 2, 3};
    const int16_t nOrigin = kOrigins[data[0] & 3];
    const unsigned nDropMask = nOrigin == -1 ? 0U : (data[0] >> 1) & 0x0EU; // bit i: slot i
    const std::size_t nPieces = data[1] & 15;
    std::size_t pos = 2;
    std::vector<std::size_t> pieces;
    for (std::size_t i = 0; i < nPieces && pos + 2 <= size; ++i, pos += 2) {
        pieces.push_back(std::size_t{data[pos]} << 8 | data[pos + 1]);
    }

    std::string stream;
    while (pos < size && stream.size() < kMaxStream) {
        if (data[pos] == 0xFF && pos + 2 < size && !stream.empty()) {
            const std::size_t n = std::size_t{data[pos + 1]} << 8 | data[pos + 2];
            stream.append(std::min(n, kMaxStream - stream.size()), stream.back());
            pos += 3;
        } else {
            stream += static_cast<char>(data[pos++]);
        }
    }

    const Outcome cut = Feed(stream, pieces, nOrigin, nDropMask, true);
    const Outcome whole = Feed(stream, {}, nOrigin, nDropMask, false);
    FUZZ_REQUIRE(cut.taken == ExpectedLines(stream));
    FUZZ_REQUIRE(whole.taken == cut.taken);
    FUZZ_REQUIRE(whole.calls == cut.calls);
    FUZZ_REQUIRE(whole.rows == cut.rows);
    return 0;
}
