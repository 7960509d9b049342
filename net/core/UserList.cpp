// SPDX-License-Identifier: MIT
#include "net/core/UserList.h"

namespace zaplo {

namespace {

std::size_t LowBit(std::size_t i) {
    return i & (~i + 1);
}

} // namespace

void UserList::Add(const std::string& szNick, int16_t iSlot) {
    const std::size_t nPos = rows_.size();
    rows_.push_back(Row{szNick, iSlot});
    live_.push_back(1);
    // The new tree node covers (i - lowbit(i), i]: the new row and the nodes below it.
    const std::size_t i = nPos + 1;
    tree_.push_back(static_cast<int32_t>(1 + LiveBefore(nPos) - LiveBefore(i - LowBit(i))));
    bySlot_[iSlot].push_back(nPos);
    ++nLive_;
}

std::size_t UserList::LiveBefore(std::size_t nPos) const {
    int64_t nSum = 0;
    for (std::size_t i = nPos; i > 0; i -= LowBit(i)) {
        nSum += tree_[i - 1];
    }
    return static_cast<std::size_t>(nSum);
}

void UserList::Count(std::size_t nPos, int nDelta) {
    for (std::size_t i = nPos + 1; i <= tree_.size(); i += LowBit(i)) {
        tree_[i - 1] += nDelta;
    }
}

bool UserList::Remove(int16_t iSlot) {
    const auto slot = bySlot_.find(iSlot);
    if (slot == bySlot_.end()) {
        return false;
    }
    const std::size_t nPos = slot->second.front();
    slot->second.pop_front();
    if (slot->second.empty()) {
        bySlot_.erase(slot);
    }
    live_[nPos] = 0;
    std::string().swap(rows_[nPos].szNick);
    Count(nPos, -1);
    --nLive_;
    if (rows_.size() - nLive_ > nLive_ + 16) {
        Sweep();
    }
    return true;
}

void UserList::Sweep() {
    std::vector<Row> rows = Rows();
    Clear();
    for (Row& row : rows) {
        Add(row.szNick, row.iSlot);
    }
}

std::optional<std::size_t> UserList::RowOf(int16_t iSlot) const {
    const auto slot = bySlot_.find(iSlot);
    if (slot == bySlot_.end()) {
        return std::nullopt;
    }
    return LiveBefore(slot->second.front());
}

bool UserList::Has(int16_t iSlot) const {
    const auto found = bySlot_.find(iSlot);
    return found != bySlot_.end() && !found->second.empty();
}

std::optional<std::string> UserList::Nickname(int16_t iSlot) const {
    const auto slot = bySlot_.find(iSlot);
    if (slot == bySlot_.end()) {
        return std::nullopt;
    }
    return rows_[slot->second.front()].szNick;
}

void UserList::Clear() {
    rows_.clear();
    live_.clear();
    tree_.clear();
    bySlot_.clear();
    nLive_ = 0;
}

std::vector<std::string> UserList::Names() const {
    std::vector<std::string> names;
    names.reserve(nLive_);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (live_[i] != 0) {
            names.push_back(rows_[i].szNick);
        }
    }
    return names;
}

std::vector<UserList::Row> UserList::Rows() const {
    std::vector<Row> rows;
    rows.reserve(nLive_);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (live_[i] != 0) {
            rows.push_back(rows_[i]);
        }
    }
    return rows;
}

} // namespace zaplo
