// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <optional>

class QAction;
class QMenu;
class QWidget;

namespace zaplo {

class AppState;
class JoinAgainItem;

// What a window offers when its join did not come off: the "Connection failed!" box, the
// password dialog once the host has asked for a password, and on a client File > Join Again
// after the connection failed or was lost.
class RejoinPrompts {
public:
    struct Hooks {
        // The window still holds its session and is not on its way out.
        std::function<bool()> bSessionOpen;
        // Starts the next session to the same host: Join Again, or OK in the password dialog.
        std::function<void()> onJoinAgain;
        // The session ended unjoined: closing returns to the start screen.
        std::function<void()> onJoinFailed;
    };

    RejoinPrompts(QWidget& window, AppState& state, Hooks hooks);

    // Client: puts File > Join Again into menu before `before`, hidden until offered.
    void AddJoinAgain(QMenu& menu, QAction* before);
    // The connection is gone: Join Again is offered.
    void Lost();
    void ConnectFailed();
    // The host refused the join for want of the right password. The dialog waits until the
    // window is shown and the refusal's handling has finished.
    void PasswordNeeded(bool bWrong);
    // The window has been shown: a password asked for meanwhile is asked now.
    void WindowShown();

private:
    // OK joins again with the password, Cancel leaves the session as a failed connection
    // attempt does.
    void AskPassword();
    void JoinFailed();

    QWidget& window_;
    AppState& state_;
    Hooks hooks_;
    JoinAgainItem* joinAgain_ = nullptr; // client only
    // The host asked for a password (true: after a wrong one) and the dialog has not been shown
    // yet.
    std::optional<bool> passwordAsked_;
};

} // namespace zaplo
