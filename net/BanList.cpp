// SPDX-License-Identifier: MIT
#include "net/BanList.h"

#include <algorithm>

namespace zaplo {

bool BanList::Add(const AddressPrefix& prefix) {
    if (bans_.size() >= kMaxBans || std::ranges::find(bans_, prefix) != bans_.end()) {
        return false;
    }
    bans_.push_back(prefix);
    return true;
}

bool BanList::Lift(const AddressPrefix& prefix) {
    const auto it = std::ranges::find(bans_, prefix);
    if (it == bans_.end()) {
        return false;
    }
    bans_.erase(it);
    return true;
}

bool BanList::Contains(std::string_view szKey) const {
    return std::ranges::any_of(bans_,
                               [szKey](const AddressPrefix& ban) { return ban.Matches(szKey); });
}

std::vector<std::string> BanList::List() const {
    std::vector<std::string> texts;
    texts.reserve(bans_.size());
    for (const AddressPrefix& ban : bans_) {
        texts.push_back(ban.Text());
    }
    return texts;
}

} // namespace zaplo
