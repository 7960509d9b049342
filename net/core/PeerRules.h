// SPDX-License-Identifier: MIT
#pragma once

#include "net/core/MessageCode.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zaplo {

// What the server takes from a client, in one place. Everything a client sends is judged here
// before it has any effect; what is refused is skipped silently, as a malformed line is, so an
// honest peer never sees the difference.
//
//   code   before the join            after the join
//   {1}    skipped                    shown and echoed, under the sender's joined name
//   {2}    joins (name mended)        skipped: one join per connection
//   {3}    skipped                    skipped: departures are the server's own
//   {8}    skipped                    skipped: user lists are the server's
//   {9}    skipped                    skipped: status lines are the server's
//   {10}   skipped                    drawn and relayed
//   {11}   skipped                    erased and relayed
//   {12}   checked as the password    skipped
//          answer, when there is one
//
// A connection that has not joined receives nothing of the session and is closed once it has
// had kJoinWaitMs to join.
class PeerRules {
public:
    enum class Verdict { Handle, Skip };

    // The program sends its join the moment it is connected; ten seconds is many round trips and
    // retransmissions of even a poor link, and bounds how long a silent connection holds a slot.
    static constexpr int32_t kJoinWaitMs = 10'000;
    // The user list's separator: a name holding it would be read as two rows.
    static constexpr char kListSeparator = ';';
    // What the separator becomes in a joined name.
    static constexpr char kSeparatorStandIn = ',';

    // Whether the server acts on a client line with this code.
    static Verdict ForCode(MessageCode code, bool bJoined);

    // The name a join is taken with: szNick with every list separator replaced, so the rows of
    // every user list stay one per user; none when it is too long for the nickname box. An empty
    // name and a name somebody else has are taken as they are.
    static std::optional<std::string> JoinName(std::string_view szNick);

    // A client's chat payload as the session shows it: under its sender's joined name. The
    // program's own line, "{" name "}" text, comes back byte for byte; any other claim of a
    // name (the part up to the first "}") is replaced, and a line without one gets the name put
    // in front.
    static std::string ChatUnder(std::string_view szPayload, std::string_view szName);
};

} // namespace zaplo
