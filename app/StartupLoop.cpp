// SPDX-License-Identifier: MIT
#include "app/StartupLoop.h"

#include "base/AppState.h"
#include "ui/connect/frmIP.h"
#include "ui/main/frmMain.h"
#include "ui/start/frmStart.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>

namespace zaplo {

StartupLoop::StartupLoop(AppState& state) : state_(state) {}

StartupLoop::~StartupLoop() = default;

void StartupLoop::Run(bool bStraightToSession) {
    // The loop decides when the program ends; windows closing in between must not end it.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    szStartPassword_ = state_.szSessionPassword;

    // Both windows exist before the first pass; neither is shown yet.
    start_ = std::make_unique<frmStart>(state_, memory_);
    dialog_ = std::make_unique<frmIP>(state_);

    for (bool bChoose = !bStraightToSession;; bChoose = !bJoinAgain_) {
        const bool bCanceled = bChoose && !ChooseSession();
        if (state_.Ended()) {
            return; // Escape, or a close box of the start screen or the dialog
        }
        if (!bCanceled) {
            const bool bReset = RunMainWindow();
            if (state_.Ended()) {
                return; // Exit, or the close box during a normal session
            }
            if (!bReset) {
                state_.EndProgram();
                return;
            }
        }

        // Let what the closed windows left behind run once before the next intro. Objects that
        // asked to be deleted later go now: this loop never returns to an event loop of its own.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (state_.Ended()) {
            return;
        }
    }
}

bool StartupLoop::ChooseSession() {
    // Intro. A start screen serves one intro only; later passes make a new one.
    if (!start_) {
        start_ = std::make_unique<frmStart>(state_, memory_);
    }
    start_->show();
    start_->timerAction_Timer();
    if (state_.Ended()) {
        return false;
    }
    start_.reset();

    // Connection settings. After its close box the dialog starts again from its defaults.
    if (!dialog_) {
        dialog_ = std::make_unique<frmIP>(state_);
    }
    dialog_->ShowModal();
    if (state_.Ended()) {
        return false;
    }
    const bool bCanceled = dialog_->bCanceled;
    state_.szSessionPassword = szStartPassword_;
    if (dialog_->Destroyed()) {
        dialog_.reset();
    }
    return !bCanceled;
}

bool StartupLoop::RunMainWindow() {
    // The window connects while it is created, and lives exactly as long as its session.
    auto main = std::make_unique<frmMain>(state_);
    bJoinAgain_ = false;
    if (state_.Ended()) {
        return false;
    }
    main->ShowModal();
    bJoinAgain_ = main->bJoinAgain;
    return main->bReset;
}

} // namespace zaplo
