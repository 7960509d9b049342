// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

// The draw record the bots send: the five fields a server relays untouched, then the sender's
// id, a sequence number and the send time.
class StampedRecord {
public:
    // Writes the record's payload (no "{10}", no line end) into buf; seq -1 marks a sync record.
    // Returns its length; 128 bytes always suffice.
    static size_t Make(char* buf, int id, int64_t seq, int64_t ns);
    // Reads id, seq and send time from a received payload; false when it is malformed.
    static bool ReadStamp(const char* p, const char* end, int64_t& id, int64_t& seq, int64_t& ns);
};
