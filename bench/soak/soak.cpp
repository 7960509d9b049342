// SPDX-License-Identifier: MIT
// Soak: the real server session (the main window in server mode, offscreen) against honest and
// hostile peers on plain sockets, each in a thread of its own.
//
// Honest clients (3) draw 300 records/s and chat 10 lines/s each and read everything; every
// record and chat line of the other honest clients must arrive once and in order. Beside them,
// per scenario: one flooder sending "{10}" records as fast as TCP takes them, or one client
// sending 500 draw lines of 60,000 digits, or one connection sending 10,000 joins; and 20
// non-readers that join with a small receive buffer and never read. Printed per scenario:
// records and chat lines the honest clients lost, honest clients cut off, honest chat echo
// p50/p99 (ms), non-readers cut off and the time until the last one was announced gone, and the
// peak resident memory of the server (VmHWM of a server process started for each scenario), and
// how many flood records per second reached an honest client (the server's relay throughput).
//
// The pacing phases come first (Swarm.h; slow links are readers with a small receive buffer
// reading a fixed number of bytes per second):
// - flood: a flooder, a reader taking 125 KB/s, a talker (5 lines/s) and a fast reader: how late
//   the talker's lines reach each reader, whether all arrive, how fast the flood goes;
// - floodplain: the same with a plain slow reader, whose receive buffer is the system's own
//   (the lines also wait there, in front of its 125 KB/s);
// - drawers: 20 drawers at 100 records/s (and one chat line/s each), first alone, then with one
//   more reader taking 32 KB/s: the drawers' chat latency both ways, losses, and when the slow
//   reader was announced gone;
// - alike: the 20 drawers while every one takes only 32 KB/s: cuts, losses, lag, memory;
// - churn: a class of 30 joining at once, then one peer connecting, joining and leaving in a
//   loop as fast as it can while a talker chats: the talker's echo, the joins that got through,
//   the server's memory;
// - churn60: 60 receivers taking 32 KB/s each and a talker (5 lines/s), while a churner
//   connects, joins and leaves in a loop from 10 addresses (127.0.0.2 to .11), each as often as
//   the accept gate lets one address in: receivers cut, the talker's echo, the cycles that got
//   through, the server's peak memory.
// --short runs 4 s without and 8 s with each hostile peer (under a minute in all), otherwise
// 10 s and 30 s; the pacing phases 8 s or 30 s each (churn60 15 s or 30 s). --only takes a
// comma-separated list of pacing, flood, floodplain, drawers, alike, churn, churn60 and
// existing, and runs just those.
// --server-from SOAK runs every server from another build's soak (its "--server" mode), so the
// same peers measure that build's server window. SOAK_DEBUG=1 also shows the slowest echoes.
//
// Run: QT_QPA_PLATFORM=offscreen ./build/bench/soak/soak [--short] [--only PHASES]
//      [--server-from OTHER_BUILD/bench/soak/soak]
#include "bench/soak/ChurnPhases.h"
#include "bench/soak/HonestScenarios.h"
#include "bench/soak/PacingPhases.h"
#include "bench/soak/ServerProcess.h"

#include <cstdio>
#include <sstream>
#include <string>

namespace {

SoakOptions ReadOptions(int argc, char** argv) {
    SoakOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--short") {
            options.bShort = true;
        } else if (arg == "--only" && i + 1 < argc) {
            std::stringstream list(argv[++i]);
            for (std::string szPhase; std::getline(list, szPhase, ',');) {
                options.only.insert(szPhase);
            }
        } else if (arg == "--server-from" && i + 1 < argc) {
            options.szServer = argv[++i];
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--server") {
        return RunServer(argc, argv);
    }
    const SoakOptions options = ReadOptions(argc, argv);
    if (options.szServer != SoakOptions().szServer) {
        std::printf("servers from %s\n", options.szServer.c_str());
    }
    const std::pair<const char*, void (*)(const SoakOptions&)> kPacing[] = {
        {"flood", RunFloodPhase}, {"floodplain", RunFloodPlainPhase}, {"drawers", RunDrawersPhase},
        {"alike", RunAlikePhase}, {"churn", RunChurnPhase},           {"churn60", RunChurn60Phase}};
    for (const auto& [szPhase, run] : kPacing) {
        if (options.Runs(szPhase, "pacing")) {
            run(options);
        }
    }
    if (options.Runs("existing", "existing")) {
        RunHonestScenarios(options);
    }
    return 0;
}
