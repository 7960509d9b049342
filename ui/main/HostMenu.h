// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace zaplo {

class SessionHost;
class SessionView;
class UserListBox;
class UserListMenu;

// The menu items that only a hosting window has: in File "Send Picture to Newcomers" (off until
// chosen), "Session Password..." and "Bans...", and the user list's "Disconnect" and "Ban". The
// host is asked for each time, since the window drops it once it has closed.
class HostMenu : public QObject {
    Q_OBJECT
public:
    using Host = std::function<SessionHost*()>;

    // Adds the items to menu; dialogs open over window, outcomes go to view's status log.
    HostMenu(QMenu& menu, QWidget& window, SessionView& view, Host host);

    // Gives list its menu; the host must be there by now.
    void AddUserListMenu(UserListBox& list);
    // Slot iUser's connection has closed: a user list menu open for it goes.
    void SlotClosed(int16_t iUser);

private:
    void mnuSessionPassword_Click();
    void mnuBans_Click();
    // Bans the address of slot iUser's client.
    void Ban(int16_t iUser);

    QWidget& window_;
    SessionView& view_;
    Host host_;
    UserListMenu* userMenu_ = nullptr;
};

} // namespace zaplo
