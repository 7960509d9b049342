// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

// The bot's command line.
struct BotOptions {
    std::string host = "127.0.0.1";
    int port = 0;
    bool mqtt = false;
    bool tls = false;
    std::string mode = "flood";
    int clients = 5;
    double seconds = 3;
    double rate = 100;
    int64_t window = -1;     // -1: 20000 / clients
    int64_t records = 20000; // burst: records per client
    std::string password;    // answer a protected session's challenge with it
    // Paced: how many clients (the first ones) read what arrives once the sync is done; the
    // others drain their sockets without decrypting or parsing. -1: all of them. On a machine
    // shared with the server, 50 readers decrypting every delivery on one core measure the
    // bot as much as the server; a few readers still time every sender's records.
    int readers = -1;

    // Reads "--key value" pairs; false (after a message on stderr) when the line is unusable.
    bool Parse(int argc, char** argv);
};
