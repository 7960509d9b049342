#include "net/core/UserList.h"

#include <algorithm>
#include <iterator>

namespace zaplo {

void UserList::Add(const std::string& szNick, int16_t iSlot) {
    rows_.push_back(Row{szNick, iSlot});
    slots_.push_back(iSlot);
    ++counts_[iSlot];
}

std::optional<std::size_t> UserList::RowOf(int16_t iSlot) const {
    if (!counts_.contains(iSlot)) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(
        std::distance(slots_.begin(), std::find(slots_.begin(), slots_.end(), iSlot)));
}

bool UserList::Remove(int16_t iSlot) {
    const std::optional<std::size_t> i = RowOf(iSlot);
    if (!i) {
        return false;
    }
    const auto offset = static_cast<std::ptrdiff_t>(*i);
    rows_.erase(rows_.begin() + offset);
    slots_.erase(slots_.begin() + offset);
    const auto count = counts_.find(iSlot);
    if (--count->second == 0) {
        counts_.erase(count);
    }
    return true;
}

std::optional<std::string> UserList::Nickname(int16_t iSlot) const {
    const std::optional<std::size_t> i = RowOf(iSlot);
    return i ? std::optional(rows_[*i].szNick) : std::nullopt;
}

void UserList::Clear() {
    rows_.clear();
    slots_.clear();
    counts_.clear();
}

std::vector<std::string> UserList::Names() const {
    std::vector<std::string> names;
    names.reserve(rows_.size());
    for (const Row& row : rows_) {
        names.push_back(row.szNick);
    }
    return names;
}

} // namespace zaplo
