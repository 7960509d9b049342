// SPDX-License-Identifier: MIT
#pragma once
// What one box bench run was asked for, handed to every phase.
#include <string>

struct BoxBench {
    std::string szWindow; // the zaplo_bench_window binary whose windows are measured
    bool bShort = false;
};
