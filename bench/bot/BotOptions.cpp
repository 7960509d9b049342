// SPDX-License-Identifier: MIT
#include "bench/bot/BotOptions.h"

#include <cstdio>
#include <cstdlib>

bool BotOptions::Parse(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i];
        std::string val = argv[i + 1];
        if (key == "--host") {
            host = val;
        } else if (key == "--port") {
            port = std::atoi(val.c_str());
        } else if (key == "--proto") {
            mqtt = val == "mqtt";
        } else if (key == "--tls") {
            tls = val == "1";
        } else if (key == "--mode") {
            mode = val;
        } else if (key == "--clients") {
            clients = std::atoi(val.c_str());
        } else if (key == "--seconds") {
            seconds = std::atof(val.c_str());
        } else if (key == "--rate") {
            rate = std::atof(val.c_str());
        } else if (key == "--window") {
            window = std::atoll(val.c_str());
        } else if (key == "--password") {
            password = val;
        } else if (key == "--readers") {
            readers = std::atoi(val.c_str());
        } else if (key == "--records") {
            records = std::atoll(val.c_str());
        } else {
            std::fprintf(stderr, "bot: unknown option %s\n", key.c_str());
            return false;
        }
    }
    if (port <= 0 || clients < (mode == "join" ? 1 : 2)) {
        std::fprintf(stderr, "bot: need --port and at least 2 --clients\n");
        return false;
    }
    if (mode != "flood" && mode != "burst" && mode != "paced" && mode != "idle" && mode != "join") {
        std::fprintf(stderr, "bot: unknown mode %s\n", mode.c_str());
        return false;
    }
    if (readers != -1 && (mode != "paced" || readers < 1 || readers > clients)) {
        std::fprintf(stderr, "bot: --readers is for paced mode, from 1 to --clients\n");
        return false;
    }
    if (mode == "burst" && records < 1) {
        std::fprintf(stderr, "bot: burst needs --records of at least 1\n");
        return false;
    }
    return true;
}
