#pragma once

#include "ui/start/IntroMemory.h"
#include "ui/start/LineShape.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

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
    struct AsmLine {
        int16_t nY = 0; // top of the text, less 5, in the panel
        QString szText;
    };

    frmStart(AppState& state, IntroMemory& memory, QWidget* parent = nullptr);
    ~frmStart() override;

    // The intro's frame loop. Runs while bAnimate is true, then closes the window.
    void timerAction_Timer();
    // One frame of the intro without the event dispatch and the pause.
    void RunFrame();

    bool bAnimate = false;
    bool bModeChosen = false;

    std::array<QImage, 3> picFrames; // the logo in its three colourings
    // Bouncing frame: left, top, bottom and right side.
    std::array<int16_t, 4> nFramePos{};
    std::array<int16_t, 4> nFrameStep{};
    std::array<AsmLine, 13> asmLines;

    // Line1 .. Line6 for n = 1 .. 6.
    const LineShape& Line(int n) const;
    // Lined 0 .. 3.
    const LineShape& Lined(int i) const;
    // The window's retained surface, under the lines, labels and child widgets. Whatever is drawn
    // on it stays until the window repairs that place from the background picture.
    QImage& Surface() { return layer_; }
    const QImage& Surface() const { return layer_; }
    // What the window system paints where nothing else has been drawn.
    const QImage& BackgroundPicture() const { return background_; }

    static QString CreditText();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void PlaceAsmLines();
    // True when the step is due; then moves lNext one period past a fresh reading.
    bool TakeDeadline(int32_t& lNext, int32_t period);

    void StepLogo();
    void StepPlanet();
    void StepScanLines();
    void StepFrame();
    void StepCredit();
    void StepExplain();
    void StepAsm();

    void MoveLine(LineShape& line, int x1, int y1, int x2, int y2);
    void RepairFromBackground(const QRect& area);

    AppState& state_;
    IntroMemory& memory_;

    QImage background_;
    QImage layer_;
    std::array<LineShape, 6> lines_;
    std::array<LineShape, 4> lined_;

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
