// SPDX-License-Identifier: MIT
#pragma once

#include "server/ControlTarget.h"

namespace zaplo {

class ConsoleView;
class SessionHost;

// The control commands on a running session: the host does the work, the view keeps the
// picture when it is asked for.
class SessionControl : public ControlTarget {
public:
    SessionControl(SessionHost& host, ConsoleView& view);

    std::vector<User> Users() const override;
    void Disconnect(int16_t iSlot) override;
    bool Ban(int16_t iSlot) override;
    std::vector<std::string> Bans() const override;
    bool Unban(const std::string& szAddress) override;
    void Clear() override;
    void Say(const std::string& szText) override;
    void SetPassword(std::optional<std::string> szPassword) override;
    bool SetPicture(bool bOn) override;

private:
    SessionHost& host_;
    ConsoleView& view_;
};

} // namespace zaplo
