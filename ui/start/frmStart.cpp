// SPDX-License-Identifier: MIT
#include "ui/start/frmStart.h"

#include "base/AppState.h"
#include "gfx/DrawFontText.h"
#include "gfx/QtColour.h"
#include "ui/common/UiText.h"
#include "ui/start/IntroTables.h"
#include "ui/start/PictureButton.h"
#include "ui/start/PicturePanel.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>

namespace zaplo {

namespace {

constexpr int kClientWidth = 509;
constexpr int kClientHeight = 381;
constexpr int kFramePause = 35;
constexpr int kExplainLeft = 248;
constexpr int32_t kCreditColour = PackColour(110, 160, 255);
constexpr int32_t kAsmColour = PackColour(200, 200, 255);
const QString kCreditText = QStringLiteral("Zaplo draws together");

struct PanelRow {
    const char* szName;
    QRect at;
    bool bSunken;
    int32_t clrBack;
    const char* szPicture; // null: none
};
constexpr std::array<PanelRow, 4> kPanels{{
    {"pichead", {64, 8, 410, 55}, false, PackColour(0, 0, 0), ":/assets/banner.png"},
    {"picLogo", {16, 344, 121, 25}, false, PackColour(64, 64, 64), nullptr},
    {"picAsm", {384, 240, 113, 130}, true, PackColour(64, 64, 64), nullptr},
    {"picpl", {392, 360, 113, 110}, true, PackColour(0, 0, 0), ":/assets/planet.png"},
}};

struct ButtonRow {
    const char* szName;
    const char* szCaption;
    const char* szFace;
    QRect at;
};
constexpr std::array<ButtonRow, 2> kButtons{{
    {"btnServer", "SERVER", ":/assets/btnserver.png", {56, 120, 125, 40}},
    {"btnClient", "CLIENT", ":/assets/btnclient.png", {56, 168, 125, 40}},
}};

// Null when the picture is missing; the panels then show a plain fill.
QImage LoadPicture(const char* path) {
    return path == nullptr ? QImage() : QImage(QString::fromLatin1(path));
}

QLabel* MakeStartLabel(QWidget* parent, const char* name, const QString& text, QPoint at,
                       QColor colour, bool bBold) {
    QLabel* label = MakeLabel(parent, QString::fromLatin1(name), text, colour);
    label->setFont(SansFont(QStringLiteral("Sans Serif"), bBold));
    label->move(at);
    label->adjustSize();
    return label;
}

LineShape ShapeOf(const IntroLine& line) {
    return LineShape(line.at.x1, line.at.y1, line.at.x2, line.at.y2, ColourToQColor(line.clr));
}

} // namespace

frmStart::frmStart(AppState& state, IntroMemory& memory, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      state_(state), memory_(memory), anim_(memory) {
    setObjectName(QStringLiteral("frmStart"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
    }

    // Creation code, in this order; the animation has set the frame and placed the panel's lines.
    setWindowTitle(QStringLiteral("Zaplo\u00AE BETA") + QStringLiteral(" Starup"));
    picFrames[0] = LoadPicture(":/assets/logo4.png");
    picFrames[1] = LoadPicture(":/assets/logo5.png");
    picFrames[2] = LoadPicture(":/assets/logo6.png");
    CreateControls();
    lblVersion->setText(QStringLiteral("Version ") + QString::number(ZAPLO_VERSION_MAJOR) +
                        QLatin1Char('.') + QString::number(ZAPLO_VERSION_MINOR));
    lblVersion->adjustSize();
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
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        lines_[i] = ShapeOf(kIntroLines[i]);
    }
    for (std::size_t i = 0; i < lined_.size(); ++i) {
        lined_[i] = ShapeOf(kIntroLines[lines_.size() + i]);
    }
    lblVersion = MakeStartLabel(this, "lblVersion", QString(), {288, 360}, {0, 0, 192}, false);
    lblExplain = MakeStartLabel(this, "lblExplain", QString::fromLatin1(anim_.Explain().szText),
                                {kExplainLeft, anim_.Explain().nTop}, {128, 128, 255}, true);
    CreatePanels();
    CreateButtons();
}

void frmStart::CreatePanels() {
    std::array<PicturePanel*, kPanels.size()> panels{};
    for (std::size_t i = 0; i < kPanels.size(); ++i) {
        const PanelRow& row = kPanels[i];
        panels[i] = new PicturePanel(QString::fromLatin1(row.szName), row.at, row.bSunken,
                                     ColourToQColor(row.clrBack), this);
        if (row.szPicture != nullptr) {
            panels[i]->ShowPicture(LoadPicture(row.szPicture));
        }
    }
    pichead = panels[0];
    picLogo = panels[1];
    picAsm = panels[2];
    picpl = panels[3];
    picpl->hide(); // only holds the planet that each frame copies onto the window
}

void frmStart::CreateButtons() {
    std::array<PictureButton*, kButtons.size()> buttons{};
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        const ButtonRow& row = kButtons[i];
        buttons[i] =
            new PictureButton(QString::fromLatin1(row.szName), QString::fromLatin1(row.szCaption),
                              LoadPicture(row.szFace), row.at, this);
        const Mode nMode = i == 0 ? Mode::Server : Mode::Client;
        connect(buttons[i], &PictureButton::PointerOver, this,
                [this, nMode] { memory_.bOverServer = nMode == Mode::Server; });
        connect(buttons[i], &QAbstractButton::clicked, this, [this, nMode] {
            state_.nMode = nMode;
            bAnimate = false;
            bModeChosen = true;
        });
    }
    btnServer = buttons[0];
    btnClient = buttons[1];
    setTabOrder(btnServer, btnClient);
    btnServer->setFocus();
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
    const IntroFrame frame = anim_.Advance(state_.GetTicks);
    if (frame.bLogo) {
        picLogo->ShowPicture(picFrames[memory_.animClock.nLogoFrame]);
    }
    DrawPlanet();
    SyncLines();
    if (frame.bCredit) {
        DrawCredit();
    }
    if (frame.bExplain) {
        ShowExplanation();
    }
    if (frame.bAsm) {
        DrawAsm(frame);
    }
    update();
}

void frmStart::DrawPlanet() {
    QPainter painter(&layer_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(128, 24), picpl->Surface(), QRect(0, 0, 109, 106));
}

void frmStart::SyncLines() {
    MoveLine(lines_[0], anim_.Line(1));
    MoveLine(lines_[1], anim_.Line(2));
    for (std::size_t i = 0; i < lined_.size(); ++i) {
        MoveLine(lined_[i], anim_.Lined(static_cast<int>(i)));
    }
}

void frmStart::DrawCredit() {
    // Drawn on the retained surface and never cleared, so the earlier angles leave a trail.
    DrawFontText(layer_, 432, 168, memory_.animClock.nAngle, kCreditText, 12, false, kCreditColour,
                 0, QStringLiteral("Arial"));
}

void frmStart::ShowExplanation() {
    MoveLine(lines_[4], anim_.Line(5));
    MoveLine(lines_[5], anim_.Line(6));
    const IntroAnimation::Explanation& explain = anim_.Explain();
    const QString szText = QString::fromLatin1(explain.szText);
    const QRect before = lblExplain->geometry();
    if (lblExplain->text() != szText) {
        lblExplain->setText(szText);
    }
    lblExplain->move(kExplainLeft, explain.nTop);
    lblExplain->adjustSize();
    const QRect after = lblExplain->geometry();
    if (after != before) {
        // Like a window system repaint of the places the label left and took.
        RepairFromBackground(before);
        RepairFromBackground(after);
    }
}

void frmStart::DrawAsm(const IntroFrame& frame) {
    picAsm->Clear();
    QImage& surface = picAsm->Surface();
    for (std::size_t i = 0; i < anim_.asmLines.size(); ++i) {
        DrawFontText(surface, 5, frame.asmTops[i], 0, QString::fromLatin1(anim_.asmLines[i].szText),
                     12, false, kAsmColour, 0, QStringLiteral("Arial"));
    }
    picAsm->update();
}

void frmStart::MoveLine(LineShape& line, const Segment& to) {
    const QRect before = line.Bounds();
    if (line.SetEnds(to.x1, to.y1, to.x2, to.y2)) {
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
