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

    // Reads "--key value" pairs; false (after a message on stderr) when the line is unusable.
    bool Parse(int argc, char** argv);
};
