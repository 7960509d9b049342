// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct BotStats;
struct ssl_st;

// One client connection: its socket, what it has yet to send and what it knows about the
// records of every other client.
struct Bot {
    // What this bot, as receiver, knows about one sender.
    struct Track {
        int64_t next = 0;        // every seq below this has arrived
        std::set<int64_t> ahead; // arrived early, above next
        int64_t outOfOrder = 0;
        int64_t duplicates = 0;
        bool synced = false;
    };

    int fd = -1;
    int id = 0;
    int epoll = -1;        // the loop's epoll set, which holds fd
    ssl_st* ssl = nullptr; // TLS over fd, when asked for
    bool mqtt = false;     // MQTT packets rather than lines
    std::vector<char> in;
    size_t inLen = 0;
    std::string out;
    size_t outPos = 0;
    bool wantWrite = false;
    int64_t sent = 0;        // data records sent (next seq)
    std::vector<Track> from; // by sender id
    int syncedFrom = 0;
    bool joined = false; // the server's answer to the join (its user list) has come
    // Reads the socket and drops the bytes unread: a fast reader that keeps up with the
    // server. A TLS session's reading side is dead after this; its sending side goes on.
    bool discard = false;

    // Writes what the socket takes; waits for EPOLLOUT for the rest.
    void Flush();
    bool Pending() const { return outPos < out.size(); }
    // Appends one record (line or MQTT PUBLISH) to the output.
    void QueueRecord(int64_t seq, int64_t ns);
    void QueueJoin();
    // Reads everything the socket has and handles the complete records.
    void OnReadable(BotStats& stats);

private:
    void SetInterest(bool bWrite);
    void Discard();
    void Consume(int64_t nowNs, BotStats& stats);
    void OnRecord(const char* p, const char* end, int64_t nowNs, BotStats& stats);
};
