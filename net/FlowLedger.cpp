// SPDX-License-Identifier: MIT
#include "net/FlowLedger.h"

#include <algorithm>
#include <limits>

namespace zaplo {

namespace {

// Wrap-safe distance on the tick counter.
int32_t Since(int32_t lNow, int32_t lThen) {
    return static_cast<int32_t>(static_cast<uint32_t>(lNow) - static_cast<uint32_t>(lThen));
}

constexpr uint32_t kMaxRun = std::numeric_limits<uint32_t>::max() / 2;

} // namespace

FlowLedger::Output& FlowLedger::Out(int16_t r) {
    const auto i = static_cast<std::size_t>(std::max<int16_t>(r, 0));
    if (i >= outputs_.size()) {
        outputs_.resize(i + 1);
    }
    return outputs_[i];
}

const FlowLedger::Output* FlowLedger::Find(int16_t r) const {
    return r >= 0 && static_cast<std::size_t>(r) < outputs_.size()
               ? &outputs_[static_cast<std::size_t>(r)]
               : nullptr;
}

void FlowLedger::Queued(int16_t r, int16_t s, int64_t nBytes) {
    if (nBytes <= 0 || s < 0) {
        return;
    }
    Output& out = Out(r);
    const auto iSender = static_cast<std::size_t>(s);
    if (iSender >= generations_.size()) {
        generations_.resize(iSender + 1, 0);
    }
    const uint16_t nGeneration = generations_[iSender];
    const auto nRun = static_cast<uint32_t>(std::min<int64_t>(nBytes, kMaxRun));
    if (!out.runs.empty() && out.runs.back().nSender == s &&
        out.runs.back().nGeneration == nGeneration && out.runs.back().nBytes < kMaxRun - nRun) {
        out.runs.back().nBytes += nRun;
    } else {
        out.runs.push_back({s, nGeneration, nRun});
    }
    if (iSender >= out.from.size()) {
        out.from.resize(iSender + 1, 0);
    }
    if (out.from[iSender] == 0) {
        ++out.nSenders;
    }
    out.from[iSender] += nRun;
    if (out.marks.empty() || Since(lNow_, out.marks.back().lTick) >= kMarkMs) {
        out.marks.push_back({out.nQueued, lNow_});
    }
    out.nQueued += nRun;
    if (!out.bBehind && out.nQueued - out.nTaken > kBehindMark) {
        out.bBehind = true;
        // Its progress is watched from here on.
        out.nAcknowledged = -1;
        out.lProgress = lNow_;
        behind_.push_back(r);
    }
}

void FlowLedger::Trim(Output& out, int64_t nTaken) {
    int64_t nTake = nTaken - out.nTaken;
    if (nTake <= 0) {
        return;
    }
    out.nTaken = nTaken;
    while (nTake > 0 && !out.runs.empty()) {
        Run& run = out.runs.front();
        const auto n = static_cast<uint32_t>(std::min<int64_t>(nTake, run.nBytes));
        const auto iSender = static_cast<std::size_t>(run.nSender);
        // Bytes of an earlier connection on that slot were let go of by NewSender.
        if (run.nGeneration == generations_[iSender]) {
            out.from[iSender] -= n;
            if (out.from[iSender] == 0) {
                --out.nSenders;
            }
        }
        run.nBytes -= n;
        nTake -= n;
        if (run.nBytes == 0) {
            out.runs.pop_front();
        }
    }
    while (out.marks.size() > 1 && out.marks[1].nOffset <= out.nTaken) {
        out.marks.pop_front();
    }
    if (out.nTaken >= out.nQueued) {
        out.marks.clear();
    }
}

void FlowLedger::Look(int16_t r, int64_t nWaiting, int64_t nAcknowledged) {
    Output& out = Out(r);
    const int64_t nWaits = out.nQueued - out.nTaken;
    Trim(out, out.nQueued - std::clamp<int64_t>(nWaiting, 0, nWaits));
    if (nWaiting <= 0 || nAcknowledged != out.nAcknowledged) {
        out.nAcknowledged = nAcknowledged;
        out.lProgress = lNow_;
    }
}

void FlowLedger::Drop(int16_t r) {
    Output* out = r >= 0 && static_cast<std::size_t>(r) < outputs_.size()
                      ? &outputs_[static_cast<std::size_t>(r)]
                      : nullptr;
    if (out == nullptr) {
        return;
    }
    Trim(*out, out->nQueued);
    if (out->bBehind) {
        out->bBehind = false;
        behind_.erase(std::remove(behind_.begin(), behind_.end(), r), behind_.end());
    }
}

void FlowLedger::NewSender(int16_t s) {
    if (s < 0) {
        return;
    }
    const auto iSender = static_cast<std::size_t>(s);
    if (iSender >= generations_.size()) {
        generations_.resize(iSender + 1, 0);
    }
    ++generations_[iSender];
    for (Output& out : outputs_) {
        if (iSender < out.from.size() && out.from[iSender] != 0) {
            out.from[iSender] = 0;
            --out.nSenders;
        }
    }
    if (Paced(s)) {
        paced_[iSender] = 0;
        pacedList_.erase(std::remove(pacedList_.begin(), pacedList_.end(), s), pacedList_.end());
    }
}

int32_t FlowLedger::LagOf(const Output& out) const {
    if (out.nTaken >= out.nQueued || out.marks.empty()) {
        return 0;
    }
    return std::max(Since(lNow_, out.marks.front().lTick), 0);
}

bool FlowLedger::AnyLagging() const {
    return std::any_of(behind_.begin(), behind_.end(), [this](int16_t r) {
        return LagOf(outputs_[static_cast<std::size_t>(r)]) > kKeepUpMs;
    });
}

int64_t FlowLedger::Share(int16_t r) const {
    const Output* out = Find(r);
    const int nSenders = out != nullptr ? std::max(out->nSenders, 1) : 1;
    return std::clamp<int64_t>(kPaceMark / nSenders, kMinShare, kShare);
}

void FlowLedger::Decide(int nReceivers, std::vector<int16_t>& cut) {
    for (const int16_t s : pacedList_) {
        paced_[static_cast<std::size_t>(s)] = 0;
    }
    pacedList_.clear();
    // Receivers that keep up: everybody not looked at, and those looked at with a small lag.
    int nLagging = 0;
    for (const int16_t r : behind_) {
        nLagging += LagOf(outputs_[static_cast<std::size_t>(r)]) > kKeepUpMs ? 1 : 0;
    }
    const int nKeepUp = std::max(nReceivers - nLagging, 0);
    for (std::size_t i = 0; i < behind_.size();) {
        const int16_t r = behind_[i];
        Output& out = outputs_[static_cast<std::size_t>(r)];
        const int64_t nWaiting = out.nQueued - out.nTaken;
        if (nWaiting <= kBehindMark) {
            out.bBehind = false;
            behind_.erase(behind_.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ++i;
        const int32_t nLag = LagOf(out);
        const int32_t nSince = Since(lNow_, out.lProgress);
        // Most of the other receivers keep up: this one is far behind them, not the link of
        // the whole session.
        const bool bAlone = nLag > kKeepUpMs && 2 * nKeepUp > nReceivers - 1;
        // Past the lag bound it goes if it is far behind the others, or takes nothing at all
        // (then it is not slow like the others, it is gone).
        const bool bStalled = nSince >= kStallMs;
        if ((nLag > kMaxLagMs && (bAlone || bStalled)) ||
            (nWaiting > kMaxUnsent && nSince >= kTakingMs)) {
            cut.push_back(r);
            continue;
        }
        if (bAlone || bStalled) {
            continue; // holds nobody back
        }
        const int64_t nShare = Share(r);
        for (std::size_t s = 0; s < out.from.size(); ++s) {
            if (out.from[s] > nShare) {
                if (s >= paced_.size()) {
                    paced_.resize(s + 1, 0);
                }
                if (paced_[s] == 0) {
                    paced_[s] = 1;
                    pacedList_.push_back(static_cast<int16_t>(s));
                }
            }
        }
    }
}

int64_t FlowLedger::Waiting(int16_t r) const {
    const Output* out = Find(r);
    return out != nullptr ? out->nQueued - out->nTaken : 0;
}

int64_t FlowLedger::Waiting(int16_t r, int16_t s) const {
    const Output* out = Find(r);
    return out != nullptr && s >= 0 && static_cast<std::size_t>(s) < out->from.size()
               ? out->from[static_cast<std::size_t>(s)]
               : 0;
}

int32_t FlowLedger::Lag(int16_t r) const {
    const Output* out = Find(r);
    return out != nullptr ? LagOf(*out) : 0;
}

int32_t FlowLedger::SinceProgress(int16_t r) const {
    const Output* out = Find(r);
    return out != nullptr && out->nQueued > out->nTaken ? Since(lNow_, out->lProgress) : 0;
}

} // namespace zaplo
