// SPDX-License-Identifier: MIT
// What a peer's lines cost the real windows: the program's session windows (zaplo_bench_window),
// run offscreen as separate processes, against plain-socket peers and a plain-socket host.
//
//   box_bench <path to zaplo_bench_window> [--short] [phase ...]
// Phases (all when none is named): lines memory flood longlines churn joins lists clears.
// Each figure is printed with the window binary it was taken from, so a run against the old
// binary and one against the new give the before and after figures.
//
//   lines     one chat line of 25,000 / 100,000 / 256 KiB characters without a break
//             opportunity (and other hostile characters), then a short line: on a server window
//             the time until the line's echo comes back; on a client window the main thread's
//             CPU time until it is idle again
//   memory    a client window's resident memory per byte of status text received
//   flood     one peer floods 1,000-byte chat lines; another's echo p99; peak RSS of the server
//             window and a client window
//   longlines one peer sends a 256 KiB unbreakable chat line every 2 s; the same figures
//   churn     one peer joins and leaves in a loop; the server window's peak RSS
//   joins     a hostile host sends 400,000 joins in 10 s to a client window
//   lists     a hostile host sends a 50,000-name user list 200 times
//   clears    2 MB (--short: 0.5 MB) of "{11}" lines reach a client window, then as much of
//             one-pixel draws each followed by a clear, then of one-pixel draws alone: the main
//             thread's CPU ms per MB
#include "bench/boxes/BoxPhases.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <zaplo_bench_window> [--short] [phase ...]\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    BoxBench bench;
    bench.szWindow = argv[1];
    std::vector<std::string> phases;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0) {
            bench.bShort = true;
        } else {
            phases.emplace_back(argv[i]);
        }
    }
    const std::pair<const char*, void (*)(const BoxBench&)> kPhases[] = {
        {"lines", Lines}, {"memory", Memory}, {"flood", Flood}, {"longlines", LongLines},
        {"churn", Churn}, {"joins", Joins},   {"lists", Lists}, {"clears", Clears}};
    if (phases.empty()) {
        for (const auto& [name, run] : kPhases) {
            phases.emplace_back(name);
        }
    }
    std::printf("window binary: %s%s\n", bench.szWindow.c_str(), bench.bShort ? " (short)" : "");
    for (const std::string& phase : phases) {
        const auto* found = std::find_if(std::begin(kPhases), std::end(kPhases),
                                         [&](const auto& p) { return phase == p.first; });
        if (found == std::end(kPhases)) {
            std::fprintf(stderr, "unknown phase %s\n", phase.c_str());
            return 2;
        }
        found->second(bench);
    }
    return 0;
}
