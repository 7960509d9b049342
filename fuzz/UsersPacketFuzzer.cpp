// SPDX-License-Identifier: MIT
// The user-list payload. Input: byte 0 picks the slot the rows get, the rest is a payload. It is
// read into a list, written back and read again; and, cut at NUL bytes into nicknames without
// ";", written and read back as the same list.

#include "fuzz/FuzzCheck.h"
#include "net/core/MessageCode.h"
#include "net/core/PacketParams.h"
#include "net/core/PacketProc.h"
#include "tests/support/FakeHost.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace zaplo;
    if (size < 1) {
        return 0;
    }
    const auto iSlot = static_cast<int16_t>(static_cast<int8_t>(data[0]));
    const std::string_view payload(reinterpret_cast<const char*>(data) + 1, size - 1);

    // One row per ";"-ended entry, each with the given slot, appended to what is there.
    FakeHost host;
    host.SetRows({{"host", 0}});
    ExtractUsersPacket(payload, host, iSlot);
    const std::size_t nEntries =
        static_cast<std::size_t>(std::count(payload.begin(), payload.end(), ';'));
    FUZZ_REQUIRE(host.users.Rows().size() == 1 + nEntries);
    FUZZ_REQUIRE(host.calls.size() == nEntries);
    for (std::size_t i = 1; i < host.users.Rows().size(); ++i) {
        FUZZ_REQUIRE(host.users.Rows()[i].iSlot == iSlot);
        FUZZ_REQUIRE(host.users.Rows()[i].szNick.find(';') == std::string::npos);
    }
    const std::size_t last = payload.rfind(';');
    const std::string_view kept = last == std::string_view::npos ? "" : payload.substr(0, last + 1);
    FUZZ_REQUIRE(GetUsersPacket(host) == "host;" + std::string(kept));

    // A client given "{8}" with the payload holds exactly those entries, if the line is whole.
    if (payload.find(kCrLf) == std::string_view::npos) {
        FakeHost client;
        client.SetRows({{"old", 0}});
        std::string szBlock = std::string(WireCode(MessageCode::UserList)) + std::string(payload) +
                              std::string(kCrLf);
        PacketProc(szBlock, -1, client);
        std::vector<std::string> want = host.UserRows();
        want.erase(want.begin());
        FUZZ_REQUIRE(client.UserRows() == want);
    }

    // Nicknames without ";" survive a trip through the payload unchanged, empty ones included.
    std::vector<std::string> nicks;
    std::string nick;
    for (const char c : payload) {
        if (c == '\0') {
            nicks.push_back(nick);
            nick.clear();
        } else if (c != ';') {
            nick += c;
        }
    }
    FakeHost sender;
    for (const std::string& n : nicks) {
        sender.users.Add(n, 0);
    }
    FakeHost receiver;
    ExtractUsersPacket(GetUsersPacket(sender), receiver, 1);
    FUZZ_REQUIRE(receiver.UserRows() == nicks);
    return 0;
}
