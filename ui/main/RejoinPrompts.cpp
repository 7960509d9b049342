// SPDX-License-Identifier: MIT
#include "ui/main/RejoinPrompts.h"

#include "base/AppState.h"
#include "ui/main/JoinAgainItem.h"
#include "ui/main/PasswordDialog.h"

#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace zaplo {

RejoinPrompts::RejoinPrompts(QWidget& window, AppState& state, Hooks hooks)
    : window_(window), state_(state), hooks_(std::move(hooks)) {}

void RejoinPrompts::AddJoinAgain(QMenu& menu, QAction* before) {
    joinAgain_ = new JoinAgainItem(menu, before, hooks_.onJoinAgain);
}

void RejoinPrompts::Lost() {
    if (joinAgain_ != nullptr) {
        joinAgain_->Offer();
    }
}

void RejoinPrompts::ConnectFailed() {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Zaplo"),
                    QStringLiteral("Connection failed!"), QMessageBox::Ok, &window_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    JoinFailed();
}

void RejoinPrompts::JoinFailed() {
    hooks_.onJoinFailed();
    Lost();
}

void RejoinPrompts::PasswordNeeded(bool bWrong) {
    // Told inside the link's close: the dialog waits until that has run, and until the window
    // is on screen (a refusal can come while the window is still being created).
    const bool bScheduled = passwordAsked_.has_value();
    passwordAsked_ = bWrong;
    if (!bScheduled && window_.isVisible()) {
        QTimer::singleShot(0, &window_, [this] { AskPassword(); });
    }
}

void RejoinPrompts::WindowShown() {
    if (passwordAsked_) {
        QTimer::singleShot(0, &window_, [this] { AskPassword(); });
    }
}

void RejoinPrompts::AskPassword() {
    if (!passwordAsked_ || !window_.isVisible() || !hooks_.bSessionOpen() || state_.Ended()) {
        return;
    }
    const bool bWrong = *std::exchange(passwordAsked_, std::nullopt);
    PasswordDialog dialog(bWrong, &window_);
    const bool bOk = dialog.exec() == QDialog::Accepted;
    if (!window_.isVisible() || !hooks_.bSessionOpen() || state_.Ended()) {
        return; // the window went while the dialog was open
    }
    if (!bOk) {
        JoinFailed();
        return;
    }
    // The next session goes to the same host, answering with this password.
    state_.szSessionPassword = dialog.Password();
    hooks_.onJoinAgain();
}

} // namespace zaplo
