// SPDX-License-Identifier: MIT
#pragma once

#include "bench/bot/Bot.h"
#include "bench/bot/BotOptions.h"
#include "bench/bot/BotStats.h"

#include <cstdint>
#include <sys/epoll.h>
#include <vector>

// All the bots of one run in one epoll loop: connect, sync, the measured send phase, the drain
// and the report.
class BotSwarm {
public:
    explicit BotSwarm(const BotOptions& opt);

    // Runs the whole workload; returns the process's exit code (idle mode never returns).
    int Run();

private:
    // One round of the loop: waits at most timeoutNs (negative: no limit) for socket events and
    // handles them.
    void PollNs(int64_t timeoutNs);
    void Poll(int timeoutMs);
    // Connects b (TLS too, when asked), joins and starts reading it.
    bool ConnectOne(Bot& b);
    void AnswerChallenge(Bot& b);
    void Connect();
    // Join mode: one client after the other, each until the server's answer; prints the times.
    int RunJoins();
    bool Sync(double timeoutS);
    int64_t SlowestReceipt(const Bot& s) const;
    // The measured phase from t0; returns when it ended.
    int64_t SendFor(int64_t t0);
    // Burst: every client sends its records as fast as its socket takes them (reading all the
    // while); returns when the last one has been handed to the system.
    int64_t SendAll();
    // One flood round; returns how long the loop may then wait.
    int64_t FloodRound();
    // Sends every paced record due by `now`; returns the wait until the next one.
    int64_t PacedRound(int64_t t0, int64_t tEnd, double dStepNs, int64_t now, int64_t& nNext);
    // Reads until every sent record has arrived or nothing moves; returns the count expected.
    int64_t Drain();

    BotOptions opt_;
    std::vector<Bot> bots_;
    int epoll_ = -1;
    std::vector<epoll_event> events_;
    BotStats stats_;
};
