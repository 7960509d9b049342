// SPDX-License-Identifier: MIT
#pragma once
// What one soak run was asked for.
#include <set>
#include <string>

struct SoakOptions {
    bool bShort = false;
    std::set<std::string> only; // phases named with --only; none: all of them
    // The program whose "--server" mode is the server: this one, or the soak of another build
    // (its server window is that build's, the peers stay this one's).
    std::string szServer = "/proc/self/exe";

    double BaseSeconds() const { return bShort ? 4 : 10; }
    double PhaseSeconds() const { return bShort ? 8 : 30; }
    // Whether phase runs: it was named, or its group, or nothing was.
    bool Runs(const std::string& szPhase, const std::string& szGroup) const {
        return only.empty() || only.contains(szPhase) || only.contains(szGroup);
    }
};
