// SPDX-License-Identifier: MIT
#include "ui/main/UserListMenu.h"

#include "ui/main/UserListBox.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>

#include <utility>

namespace zaplo {

UserListMenu::UserListMenu(UserListBox& list)
    : QObject(&list), list_(list), menu_(new QMenu(&list)) {
    menu_->setObjectName(QStringLiteral("mnuUserList"));
    mnuDisconnect_ = menu_->addAction(QStringLiteral("Disconnect"));
    mnuDisconnect_->setObjectName(QStringLiteral("mnuDisconnect"));
    connect(mnuDisconnect_, &QAction::triggered, this, [this] {
        if (const std::optional<int16_t> iSlot = TakeTarget(); iSlot && onDisconnect) {
            onDisconnect(*iSlot);
        }
    });
    mnuBan_ = menu_->addAction(QStringLiteral("Ban"));
    mnuBan_->setObjectName(QStringLiteral("mnuBan"));
    connect(mnuBan_, &QAction::triggered, this, [this] {
        if (const std::optional<int16_t> iSlot = TakeTarget(); iSlot && onBan) {
            onBan(*iSlot);
        }
    });
    list_.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        Offer(list_.indexAt(pos).row(), list_.viewport()->mapToGlobal(pos));
    });
    list_.installEventFilter(this);
}

bool UserListMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        QListWidgetItem* item = list_.currentItem();
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier && item != nullptr &&
            item->isSelected()) {
            const QRect at = list_.visualItemRect(item);
            Offer(list_.row(item), list_.viewport()->mapToGlobal(at.center()));
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void UserListMenu::Offer(int iRow, const QPoint& globalPos) {
    const std::optional<int16_t> iSlot = list_.RowSlot(iRow);
    if (!iSlot || *iSlot <= 0) {
        return;
    }
    target_ = iSlot;
    menu_->popup(globalPos);
}

std::optional<int16_t> UserListMenu::TakeTarget() {
    return std::exchange(target_, std::nullopt);
}

void UserListMenu::Forget(int16_t iUser) {
    if (target_ == iUser) {
        target_.reset();
        menu_->hide();
    }
}

} // namespace zaplo
