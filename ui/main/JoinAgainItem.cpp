// SPDX-License-Identifier: MIT
#include "ui/main/JoinAgainItem.h"

#include <QAction>
#include <QMenu>

#include <utility>

namespace zaplo {

JoinAgainItem::JoinAgainItem(QMenu& menu, QAction* before, std::function<void()> onJoin)
    : QObject(&menu), action_(new QAction(QStringLiteral("&Join Again"), &menu)) {
    action_->setObjectName(QStringLiteral("mnuJoinAgain"));
    action_->setEnabled(false);
    action_->setVisible(false);
    menu.insertAction(before, action_);
    connect(action_, &QAction::triggered, this, [onJoin = std::move(onJoin)] { onJoin(); });
}

void JoinAgainItem::Offer() {
    action_->setVisible(true);
    action_->setEnabled(true);
}

} // namespace zaplo
