// SPDX-License-Identifier: MIT
#include "ui/main/HostMenu.h"

#include "net/SessionHost.h"
#include "net/SessionView.h"
#include "ui/main/BanListDialog.h"
#include "ui/main/SessionPasswordDialog.h"
#include "ui/main/UserListMenu.h"

#include <QAction>
#include <QMenu>

#include <optional>
#include <string>
#include <utility>

namespace zaplo {

HostMenu::HostMenu(QMenu& menu, QWidget& window, SessionView& view, Host host)
    : QObject(&menu), window_(window), view_(view), host_(std::move(host)) {
    // Off unless the host chooses it: a newcomer then gets nothing beyond its answer.
    QAction* mnuSendPicture = menu.addAction(QStringLiteral("Send &Picture to Newcomers"));
    mnuSendPicture->setObjectName(QStringLiteral("mnuSendPicture"));
    mnuSendPicture->setCheckable(true);
    mnuSendPicture->setChecked(false);
    QAction* mnuSessionPassword = menu.addAction(QStringLiteral("Session Pass&word..."));
    mnuSessionPassword->setObjectName(QStringLiteral("mnuSessionPassword"));
    connect(mnuSessionPassword, &QAction::triggered, this, &HostMenu::mnuSessionPassword_Click);
    QAction* mnuBans = menu.addAction(QStringLiteral("&Bans..."));
    mnuBans->setObjectName(QStringLiteral("mnuBans"));
    connect(mnuBans, &QAction::triggered, this, &HostMenu::mnuBans_Click);
    connect(mnuSendPicture, &QAction::toggled, this, [this](bool bOn) {
        if (SessionHost* sessionHost = host_()) {
            sessionHost->SetSendPicture(bOn);
        }
    });
}

void HostMenu::AddUserListMenu(UserListBox& list) {
    userMenu_ = new UserListMenu(list);
    userMenu_->onDisconnect = [this](int16_t iUser) { host_()->Disconnect(iUser); };
    userMenu_->onBan = [this](int16_t iUser) { Ban(iUser); };
}

void HostMenu::SlotClosed(int16_t iUser) {
    if (userMenu_ != nullptr) {
        userMenu_->Forget(iUser);
    }
}

void HostMenu::mnuSessionPassword_Click() {
    if (host_() == nullptr) {
        return;
    }
    SessionPasswordDialog dialog(host_()->Access().HasPassword(), &window_);
    if (dialog.exec() != QDialog::Accepted || host_() == nullptr) {
        return;
    }
    switch (dialog.Chosen()) {
    case SessionPasswordDialog::Choice::Set:
        host_()->Access().SetPassword(dialog.Password());
        view_.Status("Users who join from now on need the password.");
        break;
    case SessionPasswordDialog::Choice::Remove:
        host_()->Access().SetPassword(std::nullopt);
        view_.Status("The session needs no password any more.");
        break;
    case SessionPasswordDialog::Choice::Keep:
        break;
    }
}

void HostMenu::mnuBans_Click() {
    if (SessionHost* sessionHost = host_()) {
        BanListDialog dialog(*sessionHost, &window_);
        dialog.exec();
    }
}

void HostMenu::Ban(int16_t iUser) {
    SessionHost& sessionHost = *host_();
    const std::string szAddress = sessionHost.Access().AddressOf(iUser);
    if (sessionHost.Access().Ban(iUser)) {
        view_.Status("Banned " + szAddress + " for this session.");
    }
}

} // namespace zaplo
