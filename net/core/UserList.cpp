#include "net/core/UserList.h"

#include <algorithm>

namespace zaplo {

void UserList::Add(const std::string& szNick, int16_t iSlot) {
    rows_.push_back(Row{szNick, iSlot});
}

bool UserList::Remove(int16_t iSlot) {
    const auto row =
        std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.iSlot == iSlot; });
    if (row == rows_.end()) {
        return false;
    }
    rows_.erase(row);
    return true;
}

std::optional<std::string> UserList::Nickname(int16_t iSlot) const {
    const auto row =
        std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.iSlot == iSlot; });
    return row == rows_.end() ? std::nullopt : std::optional(row->szNick);
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
