#pragma once

#include <QMainWindow>

namespace zaplo {

class AppState;

// Placeholder main window until the real one lands: the start-up loop opens it modally and reads
// bReset afterwards.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(AppState& state, QWidget* parent = nullptr);

    // Shows the window modally; returns once it has closed.
    void ShowModal();

    bool bReset = false;

private:
    AppState& state_;
};

} // namespace zaplo
