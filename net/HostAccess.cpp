// SPDX-License-Identifier: MIT
#include "net/HostAccess.h"

#include "base/AppState.h"
#include "net/AddressPrefix.h"
#include "net/NetSession.h"
#include "net/SessionPassword.h"
#include "net/core/MessageCode.h"

#include <utility>

namespace zaplo {

bool HostAccess::IsServer() const {
    return state_.nMode == Mode::Server;
}

std::optional<std::string> HostAccess::AtDoor(const std::string& szKey) {
    // The connection cap needs the open connections and is judged at the accept.
    return admission_.AtAccept(szKey, 0, HasPassword(), state_.GetTicks());
}

void HostAccess::SetPassword(std::optional<std::string> szPassword) {
    password_ =
        szPassword ? std::make_shared<const SessionPassword>(std::move(*szPassword)) : nullptr;
}

bool HostAccess::Ban(int16_t iUser) {
    if (!IsServer() || iUser <= 0) {
        return false;
    }
    const std::optional<AddressPrefix> address = AddressPrefix::FromKey(session_.KeyOf(iUser));
    if (!address) {
        return false;
    }
    admission_.Bans().Add(*address);
    session_.Disconnect(iUser);
    return true;
}

bool HostAccess::AddBan(const std::string& szAddressOrPrefix) {
    const std::optional<AddressPrefix> prefix = AddressPrefix::Parse(szAddressOrPrefix);
    return prefix && admission_.Bans().Add(*prefix);
}

bool HostAccess::Unban(const std::string& szAddressOrPrefix) {
    const std::optional<AddressPrefix> prefix = AddressPrefix::Parse(szAddressOrPrefix);
    return prefix && admission_.Bans().Lift(*prefix);
}

std::string HostAccess::AddressOf(int16_t iUser) const {
    return IsServer() ? AddressPrefix::KeyText(session_.KeyOf(iUser)) : std::string();
}

HostAccess::SlotAccess* HostAccess::Access(int16_t iUser) {
    if (iUser <= 0 || static_cast<std::size_t>(iUser) >= access_.size()) {
        return nullptr;
    }
    return &access_[static_cast<std::size_t>(iUser)];
}

void HostAccess::Accepted(int16_t iUser) {
    if (iUser <= 0) {
        return;
    }
    const auto nSlot = static_cast<std::size_t>(iUser);
    if (access_.size() <= nSlot) {
        access_.resize(nSlot + 1);
    }
    // A reused slot starts over: nothing of its earlier connection counts.
    SlotAccess& access = access_[nSlot];
    access = SlotAccess{};
    const std::string szKey = session_.KeyOf(iUser);
    if (const std::optional<std::string> szWhy = admission_.AtAccept(
            szKey, session_.OpenFrom(szKey), HasPassword(), state_.GetTicks())) {
        session_.Refuse(iUser, *szWhy);
        return;
    }
    if (password_) {
        access.password = password_;
        access.szChallenge = SessionPassword::NewChallenge();
        session_.SendUnjoined(iUser,
                              std::string(WireCode(MessageCode::Answer)) + access.szChallenge);
    }
}

bool HostAccess::Answered(int16_t iUser, const std::string& szAnswer) {
    SlotAccess* access = Access(iUser);
    // Not challenged, or answered already: only the first answer is looked at.
    if (!IsServer() || access == nullptr || !access->password || access->bAnswered) {
        return true;
    }
    access->bAnswered = true;
    const std::string szKey = session_.KeyOf(iUser);
    const int32_t lNow = state_.GetTicks();
    GuessLimiter& guesses = admission_.Guesses();
    if (guesses.Waiting(szKey, lNow)) {
        // Not looked at: guessing costs nothing while the address waits.
        session_.Refuse(iUser, AdmissionPolicy::kGuessing);
        return false;
    }
    ++nChecks_;
    if (access->password->Check(access->szChallenge, szAnswer)) {
        access->bProven = true;
        return true;
    }
    guesses.Failed(szKey, lNow);
    session_.Refuse(iUser, AdmissionPolicy::kWrongPassword);
    return false;
}

std::optional<std::string> HostAccess::JoinRefusal(int16_t iUser) {
    if (!IsServer()) {
        return std::nullopt;
    }
    const SlotAccess* access = Access(iUser);
    if (HasPassword() && access != nullptr && access->password && !access->bProven) {
        return AdmissionPolicy::kNeedsPassword;
    }
    return admission_.AtJoin(session_.Receivers());
}

} // namespace zaplo
