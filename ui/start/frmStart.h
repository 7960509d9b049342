// SPDX-License-Identifier: MIT
#pragma once

#include "ui/start/IntroAnimation.h"
#include "ui/start/IntroMemory.h"
#include "ui/start/LineShape.h"

#include <QImage>
#include <QWidget>

#include <array>

class QLabel;

namespace zaplo {

class AppState;
class PictureButton;
class PicturePanel;

// The start screen: an intro animation and the two buttons that choose server or client mode.
// The start-up loop shows it modeless and then calls timerAction_Timer, which returns once a mode
// has been chosen and the window has closed.
class frmStart : public QWidget {
    Q_OBJECT
public:
    frmStart(AppState& state, IntroMemory& memory, QWidget* parent = nullptr);
    ~frmStart() override;

    // The intro's frame loop. Runs while bAnimate is true, then closes the window.
    void timerAction_Timer();
    // One frame of the intro without the event dispatch and the pause.
    void RunFrame();

    bool bAnimate = false;
    bool bModeChosen = false;

    std::array<QImage, 3> picFrames; // the logo in its three colourings

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreatePanels();
    void CreateButtons();

    void DrawPlanet();
    void DrawCredit();
    void ShowExplanation();
    void DrawAsm(const IntroFrame& frame);
    void SyncLines();

    void MoveLine(LineShape& line, const Segment& to);
    void RepairFromBackground(const QRect& area);

    AppState& state_;
    IntroMemory& memory_;
    IntroAnimation anim_;

    QImage background_;
    // The window's retained surface, under the lines, labels and child widgets. Whatever is drawn
    // on it stays until the window repairs that place from the background picture.
    QImage layer_;
    std::array<LineShape, IntroAnimation::kLines> lines_;
    std::array<LineShape, IntroAnimation::kSides> lined_;

    PictureButton* btnServer = nullptr;
    PictureButton* btnClient = nullptr;
    PicturePanel* pichead = nullptr;
    PicturePanel* picLogo = nullptr;
    PicturePanel* picAsm = nullptr;
    PicturePanel* picpl = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblExplain = nullptr;
};

} // namespace zaplo
