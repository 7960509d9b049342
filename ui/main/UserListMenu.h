// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPoint>

#include <cstdint>
#include <functional>
#include <optional>

class QAction;
class QMenu;

namespace zaplo {

class UserListBox;

// The server's user list menu: "Disconnect" and "Ban" for a client's row, offered by the context
// menu and by the Delete key on the selected row. The server's own row (slot 0) is never offered.
class UserListMenu : public QObject {
    Q_OBJECT
public:
    explicit UserListMenu(UserListBox& list);

    // Told the slot of the row whose "Disconnect" was chosen.
    std::function<void(int16_t)> onDisconnect;
    // Told the slot of the row whose "Ban" was chosen.
    std::function<void(int16_t)> onBan;
    // Slot iUser's client has gone: a menu still open for it closes, since a newcomer may get
    // the slot before the choice is made.
    void Forget(int16_t iUser);
    QMenu* Menu() const { return menu_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Offer(int iRow, const QPoint& globalPos);
    // The slot the open menu is for, once: a choice is made at most once per opening.
    std::optional<int16_t> TakeTarget();

    UserListBox& list_;
    QMenu* menu_;
    QAction* mnuDisconnect_;
    QAction* mnuBan_;
    std::optional<int16_t> target_;
};

} // namespace zaplo
