// SPDX-License-Identifier: MIT
#pragma once

#include "ui/start/IntroMemory.h"

#include <memory>
#include <optional>
#include <string>

namespace zaplo {

class AppState;
class frmIP;
class frmStart;

// The program's start-up loop: start screen, connection dialog and main window in turn, until
// the user ends the program.
class StartupLoop {
public:
    explicit StartupLoop(AppState& state);
    ~StartupLoop();
    StartupLoop(const StartupLoop&) = delete;
    StartupLoop& operator=(const StartupLoop&) = delete;

    // Returns once the program has ended (AppState::Ended()). With bStraightToSession the first
    // pass opens the main window at once, on the settings already in the state (the command
    // line's), without the start screen and the dialog; Reset then leads to the start screen.
    void Run(bool bStraightToSession = false);

private:
    // The start screen, then the dialog; false when the dialog was cancelled or the program
    // ended.
    bool ChooseSession();
    // One session of the main window; returns its bReset. bJoinAgain_ tells whether the next
    // one goes straight to the same host (File > Join Again).
    bool RunMainWindow();

    AppState& state_;
    // What one intro leaves for the next; the same for every start screen of the run.
    IntroMemory memory_;
    bool bJoinAgain_ = false;
    // The session password the run started with (the command line's). A password typed into a
    // client's password dialog serves that host's Join Again only; a session chosen through the
    // start screen starts from this one again.
    std::optional<std::string> szStartPassword_;
    std::unique_ptr<frmStart> start_;
    std::unique_ptr<frmIP> dialog_;
};

} // namespace zaplo
