// SPDX-License-Identifier: MIT
#include "bench/bot/BotStats.h"

#include "bench/bot/Bot.h"
#include "bench/bot/BotOptions.h"

#include <algorithm>
#include <cstdio>

namespace {

double Percentile(std::vector<int64_t>& v, double q) {
    if (v.empty()) {
        return 0;
    }
    size_t k = static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return static_cast<double>(v[k]) / 1e6;
}

} // namespace

void BotStats::PrintResult(const BotOptions& opt, const std::vector<Bot>& bots, int64_t nExpected,
                           int64_t t0, int64_t tSendEnd) const {
    int64_t nOutOfOrder = 0, nDuplicates = 0, nSent = 0;
    for (const Bot& r : bots) {
        nSent += r.sent;
        for (const Bot::Track& t : r.from) {
            nOutOfOrder += t.outOfOrder;
            nDuplicates += t.duplicates;
        }
    }
    double dSpan = static_cast<double>(std::max(lastReceiptNs, tSendEnd) - t0) / 1e9;
    std::vector<int64_t> all, first, last;
    all.reserve(samples.size());
    const int64_t fifth = (tSendEnd - t0) / 5;
    for (const Sample& s : samples) {
        all.push_back(s.latNs);
        if (s.sendNs < t0 + fifth) {
            first.push_back(s.latNs);
        } else if (s.sendNs >= tSendEnd - fifth) {
            last.push_back(s.latNs);
        }
    }
    double dMax =
        all.empty() ? 0 : static_cast<double>(*std::max_element(all.begin(), all.end())) / 1e6;
    std::printf(
        "RESULT proto=%s mode=%s clients=%zu readers=%d sent=%lld delivered=%lld missing=%lld "
        "out_of_order=%lld duplicates=%lld parse_errors=%lld seconds=%.3f rate=%.0f "
        "p50_ms=%.3f p99_ms=%.3f max_ms=%.3f p99_first_ms=%.3f p99_last_ms=%.3f\n",
        opt.mqtt ? "mqtt" : "line", opt.mode.c_str(), bots.size(), opt.readers,
        static_cast<long long>(nSent), static_cast<long long>(delivered),
        static_cast<long long>(nExpected - delivered), static_cast<long long>(nOutOfOrder),
        static_cast<long long>(nDuplicates), static_cast<long long>(parseErrors), dSpan,
        static_cast<double>(delivered) / dSpan, Percentile(all, 0.5), Percentile(all, 0.99), dMax,
        Percentile(first, 0.99), Percentile(last, 0.99));
}
