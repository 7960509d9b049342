#pragma once

#include "ui/start/IntroMemory.h"

#include <memory>

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

    // Returns once the program has ended (AppState::Ended()).
    void Run();

private:
    // One session of the main window; returns its bReset.
    bool RunMainWindow();

    AppState& state_;
    // What one intro leaves for the next; the same for every start screen of the run.
    IntroMemory memory_;
    std::unique_ptr<frmStart> start_;
    std::unique_ptr<frmIP> dialog_;
};

} // namespace zaplo
