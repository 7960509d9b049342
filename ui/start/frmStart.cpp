#include "ui/start/frmStart.h"

#include "base/AppState.h"
#include "base/Colour.h"
#include "base/Ticks.h"
#include "gfx/DrawFontText.h"
#include "ui/start/PictureButton.h"
#include "ui/start/PicturePanel.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace zaplo {

namespace {

constexpr int kClientWidth = 509;
constexpr int kClientHeight = 381;

constexpr int32_t kLogoPeriod = 200;
constexpr int32_t kCreditPeriod = 19;
constexpr int32_t kExplainPeriod = 350;
constexpr int32_t kAsmPeriod = 100;
constexpr int kFramePause = 35;

constexpr int32_t kCreditColour = PackColour(110, 160, 255);
constexpr int32_t kAsmColour = PackColour(200, 200, 255);

constexpr int kAsmInnerHeight = 126; // the 130-pixel panel less its border
constexpr int kExplainLeft = 248;

// Bouncing frame: per side the range of its moving coordinate.
constexpr std::array<int16_t, 4> kFrameLow{372, 108, 176, 448};
constexpr std::array<int16_t, 4> kFrameHigh{432, 160, 228, 508};

QImage LoadPicture(const char* path) {
    QImage picture(QString::fromLatin1(path));
    return picture; // null when the picture is missing; callers then draw a plain fill
}

QFont SansFont(bool bold) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

QLabel* MakeLabel(const QString& name, const QString& text, const QPoint& pos, QColor colour,
                  bool bold, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setFont(SansFont(bold));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setAutoFillBackground(false); // transparent: the window's surface shows through
    label->setText(text);
    label->move(pos);
    label->adjustSize();
    return label;
}

} // namespace

frmStart::frmStart(AppState& state, IntroMemory& memory, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      state_(state), memory_(memory) {
    setObjectName(QStringLiteral("frmStart"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
    }

    // Creation code, in this order.
    setWindowTitle(QStringLiteral("Zaplo\u00AE BETA") + QStringLiteral(" Starup"));

    picFrames[0] = LoadPicture(":/assets/logo4.png");
    picFrames[1] = LoadPicture(":/assets/logo5.png");
    picFrames[2] = LoadPicture(":/assets/logo6.png");

    nFramePos = {372, 108, 228, 508};
    nFrameStep = {4, 4, -4, -4};

    CreateControls();
    lblVersion->setText(QStringLiteral("Version ") + QString::number(ZAPLO_VERSION_MAJOR) +
                        QLatin1Char('.') + QString::number(ZAPLO_VERSION_MINOR));
    lblVersion->adjustSize();

    static constexpr std::array<const char*, 13> kAsmTexts{
        "mov ax, 0xA000", "mov es, ax",    "mov ax, [y]",    "mov dx, ax",  "xchg ah, al",
        "mov cl, 6",      "shl dx, cl",    "add ax, dx",     "mov dx, [x]", "add ax, dx",
        "mov di, ax",     "mov ah, [clr]", "mov es:[di], ah"};
    for (std::size_t i = 0; i < asmLines.size(); ++i) {
        asmLines[i].szText = QString::fromLatin1(kAsmTexts[i]);
    }
    PlaceAsmLines();

    bAnimate = true;
    bModeChosen = false;

    // Key presses reach the window before whichever control has the focus.
    QCoreApplication::instance()->installEventFilter(this);
}

frmStart::~frmStart() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
    }
}

void frmStart::CreateControls() {
    background_ = LoadPicture(":/assets/background.png");
    layer_ = QImage(kClientWidth, kClientHeight, QImage::Format_RGB32);
    RepairFromBackground(layer_.rect());

    // Lines and labels live on the window's own surface, below the panels and buttons.
    lines_[0] = LineShape(48, 8, 48, 320, QColor(0, 0, 255));
    lines_[1] = LineShape(16, 72, 480, 72, QColor(192, 192, 255));
    lines_[2] = LineShape(368, 160, 368, 368, QColor(0, 0, 255));
    lines_[3] = LineShape(24, 232, 504, 232, QColor(128, 128, 255));
    lines_[4] = LineShape(192, 152, 240, 152, QColor(0, 0, 255));
    lines_[5] = LineShape(240, 128, 240, 152, QColor(128, 128, 255));
    lined_[0] = LineShape(392, 128, 392, 208, QColor(0, 0, 255));
    lined_[1] = LineShape(392, 128, 488, 128, QColor(0, 0, 255));
    lined_[2] = LineShape(392, 208, 488, 208, QColor(0, 0, 255));
    lined_[3] = LineShape(488, 128, 488, 208, QColor(0, 0, 255));

    lblVersion = MakeLabel(QStringLiteral("lblVersion"), QString(), QPoint(288, 360),
                           QColor(0, 0, 192), false, this);
    lblExplain = MakeLabel(QStringLiteral("lblExplain"), QStringLiteral("Gathering..."),
                           QPoint(kExplainLeft, 112), QColor(128, 128, 255), true, this);

    pichead = new PicturePanel(QStringLiteral("pichead"), QRect(64, 8, 410, 55), false,
                               QColor(0, 0, 0), this);
    pichead->ShowPicture(LoadPicture(":/assets/banner.png"));
    picLogo = new PicturePanel(QStringLiteral("picLogo"), QRect(16, 344, 121, 25), false,
                               QColor(64, 64, 64), this);
    picAsm = new PicturePanel(QStringLiteral("picAsm"), QRect(384, 240, 113, 130), true,
                              QColor(64, 64, 64), this);
    picpl = new PicturePanel(QStringLiteral("picpl"), QRect(392, 360, 113, 110), true,
                             QColor(0, 0, 0), this);
    picpl->ShowPicture(LoadPicture(":/assets/planet.png"));
    picpl->hide();

    btnServer =
        new PictureButton(QStringLiteral("btnServer"), QStringLiteral("SERVER"),
                          LoadPicture(":/assets/btnserver.png"), QRect(56, 120, 125, 40), this);
    btnClient =
        new PictureButton(QStringLiteral("btnClient"), QStringLiteral("CLIENT"),
                          LoadPicture(":/assets/btnclient.png"), QRect(56, 168, 125, 40), this);
    setTabOrder(btnServer, btnClient);
    btnServer->setFocus();

    connect(btnServer, &PictureButton::PointerOver, this, [this] { memory_.bOverServer = true; });
    connect(btnClient, &PictureButton::PointerOver, this, [this] { memory_.bOverServer = false; });
    connect(btnServer, &QAbstractButton::clicked, this, [this] {
        state_.nMode = Mode::Server;
        bAnimate = false;
        bModeChosen = true;
    });
    connect(btnClient, &QAbstractButton::clicked, this, [this] {
        state_.nMode = Mode::Client;
        bAnimate = false;
        bModeChosen = true;
    });
}

void frmStart::PlaceAsmLines() {
    // Line 0 goes on from where the last intro left it; the others follow 10 pixels apart.
    asmLines[0].nY = memory_.nAsmTopY;
    for (std::size_t i = 1; i < asmLines.size(); ++i) {
        asmLines[i].nY = static_cast<int16_t>(asmLines[i - 1].nY + 10);
    }
}

const LineShape& frmStart::Line(int n) const {
    Q_ASSERT(n >= 1 && n <= 6);
    return lines_[static_cast<std::size_t>(n - 1)];
}

const LineShape& frmStart::Lined(int i) const {
    Q_ASSERT(i >= 0 && i <= 3);
    return lined_[static_cast<std::size_t>(i)];
}

QString frmStart::CreditText() {
    return QStringLiteral("Zaplo draws together");
}

void frmStart::timerAction_Timer() {
    while (bAnimate && !state_.Ended()) {
        RunFrame();
        QCoreApplication::processEvents();
        if (state_.Ended()) {
            return; // Escape or the close box: the program is ending
        }
        state_.Sleep(kFramePause);
    }
    if (!state_.Ended()) {
        close();
    }
}

void frmStart::RunFrame() {
    StepLogo();
    StepPlanet();
    StepScanLines();
    StepFrame();
    StepCredit();
    StepExplain();
    StepAsm();
    update();
}

bool frmStart::TakeDeadline(int32_t& lNext, int32_t period) {
    const int32_t now = state_.GetTicks();
    // A deadline is never set more than one period ahead. One that lies further ahead is stale:
    // the counter has wrapped past it (a first intro after 24.8 days of uptime, or a start screen
    // that was away that long), so it counts as due rather than stalling the effect.
    if (!TicksPast(now, lNext) && !TicksPast(lNext, TicksAfter(now, period))) {
        return false;
    }
    // The next one is a full period after a fresh reading, so a late step does not catch up.
    lNext = TicksAfter(state_.GetTicks(), period);
    return true;
}

void frmStart::StepLogo() {
    AnimClock& clock = memory_.animClock;
    if (!TakeDeadline(clock.lNextLogo, kLogoPeriod)) {
        return;
    }
    clock.nLogoFrame = static_cast<uint8_t>(clock.nLogoFrame + 1);
    if (clock.nLogoFrame > 2) {
        clock.nLogoFrame = 0;
    }
    picLogo->ShowPicture(picFrames[clock.nLogoFrame]);
}

void frmStart::StepPlanet() {
    QPainter painter(&layer_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(128, 24), picpl->Surface(), QRect(0, 0, 109, 106));
}

void frmStart::StepScanLines() {
    AnimClock& clock = memory_.animClock;
    // The bounds are tested before the step, so the lines overshoot them by one step.
    if (clock.nScanX < 48) {
        clock.nScanStepX = 3;
        clock.nScanX = 48;
    }
    if (clock.nScanX > 96) {
        clock.nScanStepX = -3;
    }
    clock.nScanX = static_cast<int16_t>(clock.nScanX + clock.nScanStepX);
    MoveLine(lines_[0], clock.nScanX, 8, clock.nScanX, 320);

    if (clock.nScanY < 72) {
        clock.nScanStepY = 2;
        clock.nScanY = 72;
    }
    if (clock.nScanY > 96) {
        clock.nScanStepY = -2;
    }
    clock.nScanY = static_cast<int16_t>(clock.nScanY + clock.nScanStepY);
    MoveLine(lines_[1], 16, clock.nScanY, 480, clock.nScanY);
}

void frmStart::StepFrame() {
    for (std::size_t i = 0; i < nFramePos.size(); ++i) {
        // Only the direction turns; the position is left where it overshot.
        if (nFramePos[i] < kFrameLow[i]) {
            nFrameStep[i] = 4;
        }
        if (nFramePos[i] > kFrameHigh[i]) {
            nFrameStep[i] = -4;
        }
    }
    for (std::size_t i = 0; i < nFramePos.size(); ++i) {
        nFramePos[i] = static_cast<int16_t>(nFramePos[i] + nFrameStep[i]);
    }
    MoveLine(lined_[0], nFramePos[0], 128, nFramePos[0], 208);
    MoveLine(lined_[1], 392, nFramePos[1], 488, nFramePos[1]);
    MoveLine(lined_[2], 392, nFramePos[2], 488, nFramePos[2]);
    MoveLine(lined_[3], nFramePos[3], 128, nFramePos[3], 208);
}

void frmStart::StepCredit() {
    AnimClock& clock = memory_.animClock;
    if (!TakeDeadline(clock.lNextCredit, kCreditPeriod)) {
        return;
    }
    clock.nAngle = static_cast<int16_t>(clock.nAngle + 8);
    if (clock.nAngle > 360) {
        clock.nAngle = static_cast<int16_t>(clock.nAngle - 360);
    }
    // Drawn on the retained surface and never cleared, so the earlier angles leave a trail.
    DrawFontText(layer_, 432, 168, clock.nAngle, CreditText(), 12, false, kCreditColour, 0,
                 QStringLiteral("Arial"));
}

void frmStart::StepExplain() {
    AnimClock& clock = memory_.animClock;
    if (!TakeDeadline(clock.lNextExplain, kExplainPeriod)) {
        return;
    }

    // The connector runs from the button across to x = 240, then up (server) or down (client)
    // to the label.
    int nLineY = 176;
    int nEndY = 200;
    int nTop = 182;
    QString szText = QStringLiteral("Usual client mode.");
    if (memory_.bOverServer) {
        nLineY = 152;
        nEndY = 128;
        nTop = 112;
        szText = QStringLiteral("All data is transfered \ntrough you.");
    }
    MoveLine(lines_[4], 192, nLineY, 240, nLineY);
    MoveLine(lines_[5], 240, std::min(nLineY, nEndY), 240, std::max(nLineY, nEndY));

    const QRect before = lblExplain->geometry();
    if (lblExplain->text() != szText) {
        lblExplain->setText(szText);
    }
    lblExplain->move(kExplainLeft, nTop);
    lblExplain->adjustSize();
    const QRect after = lblExplain->geometry();
    if (after != before) {
        // Like a window system repaint of the places the label left and took.
        RepairFromBackground(before);
        RepairFromBackground(after);
    }
}

void frmStart::StepAsm() {
    AnimClock& clock = memory_.animClock;
    if (!TakeDeadline(clock.lNextAsm, kAsmPeriod)) {
        return;
    }
    picAsm->Clear();
    QImage& surface = picAsm->Surface();
    for (AsmLine& line : asmLines) {
        DrawFontText(surface, 5, line.nY + 5, 0, line.szText, 12, false, kAsmColour, 0,
                     QStringLiteral("Arial"));
        line.nY = static_cast<int16_t>(line.nY - 2);
        if (line.nY < -10) {
            line.nY = kAsmInnerHeight;
        }
    }
    memory_.nAsmTopY = asmLines[0].nY;
    picAsm->update();
}

void frmStart::MoveLine(LineShape& line, int x1, int y1, int x2, int y2) {
    const QRect before = line.Bounds();
    if (line.SetEnds(x1, y1, x2, y2)) {
        // The window system repaints both places from the background, wiping what was drawn there.
        RepairFromBackground(before);
        RepairFromBackground(line.Bounds());
    }
}

void frmStart::RepairFromBackground(const QRect& area) {
    const QRect clipped = area.intersected(layer_.rect());
    if (clipped.isEmpty()) {
        return;
    }
    QPainter painter(&layer_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(clipped, Qt::black);
    if (!background_.isNull()) {
        painter.drawImage(clipped.topLeft(), background_, clipped);
    }
    update(clipped);
}

void frmStart::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect().topLeft(), layer_, event->rect());
    for (const LineShape& line : lines_) {
        line.Paint(painter);
    }
    for (const LineShape& line : lined_) {
        line.Paint(painter);
    }
}

void frmStart::closeEvent(QCloseEvent* event) {
    bAnimate = false;
    if (!bModeChosen) {
        state_.EndProgram();
    }
    event->accept();
}

bool frmStart::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget == this || isAncestorOf(widget)) {
            state_.EndProgram();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zaplo
