// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <functional>

class QAction;
class QMenu;

namespace zaplo {

// File > Join Again in a client's window: hidden while the window has not lost its connection,
// so such a window looks as it always did; offered once the connection failed or was lost, and
// then starts a new session to the same host with the same settings.
class JoinAgainItem : public QObject {
    Q_OBJECT
public:
    // Puts the item into menu before `before`; onJoin runs when it is chosen.
    JoinAgainItem(QMenu& menu, QAction* before, std::function<void()> onJoin);

    // The connection failed or was lost: the item shows and can be chosen.
    void Offer();
    QAction* Action() const { return action_; }

private:
    QAction* action_;
};

} // namespace zaplo
