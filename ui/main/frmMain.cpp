// SPDX-License-Identifier: MIT
#include "ui/main/frmMain.h"

#include "base/AppState.h"
#include "base/Colour.h"
#include "gfx/QtColour.h"
#include "net/NetSession.h"
#include "net/SessionHost.h"
#include "ui/common/ColourBox.h"
#include "ui/common/UiText.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/ChatInput.h"
#include "ui/main/ClientArea.h"
#include "ui/main/ColourSwatch.h"
#include "ui/main/HostMenu.h"
#include "ui/main/LogBox.h"
#include "ui/main/MainLayout.h"
#include "ui/main/PictureMenu.h"
#include "ui/main/SeparatorLine.h"
#include "ui/main/WindowFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <optional>

namespace zaplo {

namespace {

template <typename T> T* Named(T* control, const QString& name) {
    control->setObjectName(name);
    return control;
}

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Bytes(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace

frmMain::frmMain(AppState& state, QWidget* parent)
    : QMainWindow(parent), state_(state),
      rejoin_(*this, state,
              {[this] { return host_ && !bExiting_; }, [this] { JoinAgain(); },
               [this] { bReset = true; }}) {
    // 1. A new window never starts with the previous session's outcome.
    bReset = false;
    setAttribute(Qt::WA_DeleteOnClose, false);

    // 2. Caption.
    WindowFrame::Dress(*this);

    // 3. Black client area, fixed outer size.
    CreateMenu();
    clientArea_ = new ClientArea(this);
    clientArea_->setObjectName(QStringLiteral("clientArea"));
    clientArea_->SetBackground(Qt::black);
    setCentralWidget(clientArea_);
    create(); // the frame margins are known once the platform window exists
    FitOuterSize();

    // 4. and 5. Controls, then the swatch colours.
    CreateControls();
    SetSwatchColours();
    SetTabOrder();
    txtChatBox->setFocus();
    // The host owns the sockets and the send timer; it goes away with the window.
    host_ = std::make_unique<SessionHost>(state_, *this);
    if (hostMenu_ != nullptr) {
        hostMenu_->AddUserListMenu(*listUsers);
    }

    // A client whose connection is gone is offered File > Join Again.
    host_->Session().onLost = [this] { rejoin_.Lost(); };

    // 6. Start the connection, as the last step.
    InitConnection();
}

frmMain::~frmMain() {
    // The session may still report to the window while it shuts down, so it goes first.
    host_.reset();
}

NetSession* frmMain::Session() const {
    return host_ ? &host_->Session() : nullptr;
}

void frmMain::CreateMenu() {
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFile_Restart = mnuFile->addAction(QStringLiteral("&Reset"));
    mnuFile_Restart->setObjectName(QStringLiteral("mnuFile_Restart"));
    QAction* mnuTick = mnuFile->addSeparator();
    mnuTick->setObjectName(QStringLiteral("mnuTick"));
    if (state_.nMode == Mode::Client) {
        rejoin_.AddJoinAgain(*mnuFile, mnuTick);
    }
    // Added items go between the separator and Exit; Reset stays first and Exit last.
    new PictureMenu(*mnuFile, *this, state_,
                    [this]() -> const QImage& { return picCanvas->Image(); });
    if (state_.nMode == Mode::Server) {
        hostMenu_ = new HostMenu(*mnuFile, *this, *this, [this] { return host_.get(); });
    }
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuTickPicture"));
    mnuFile_Exit = mnuFile->addAction(QStringLiteral("E&xit"));
    mnuFile_Exit->setObjectName(QStringLiteral("mnuFile_Exit"));
    connect(mnuFile_Restart, &QAction::triggered, this, &frmMain::mnuFile_Restart_Click);
    connect(mnuFile_Exit, &QAction::triggered, this, &frmMain::mnuFile_Exit_Click);
}

void frmMain::FitOuterSize() {
    WindowFrame::Fit(*this, QSize(kOuterWidth, kOuterHeight),
                     QSize(kMinClientWidth, kMinClientHeight));
}

void frmMain::CreateControls() {
    QWidget* area = clientArea_;
    const QColor labelColour(125, 80, 250);
    txtChatBox = Named(new LogBox(area), QStringLiteral("txtChatBox"));
    txtChatSend = Named(new ChatInput(area), QStringLiteral("txtChatSend"));
    txtChatSend->setFont(SansFont(QStringLiteral("MS Sans Serif"), true));
    connect(txtChatSend, &ChatInput::enterPressed, this, &frmMain::txtChatSend_Enter);
    listUsers = Named(new UserListBox(area), QStringLiteral("listUsers"));
    lblUserList = MakeLabel(area, QStringLiteral("lblUserList"), QStringLiteral("Session Users:"),
                            QColor(125, 25, 250));
    txtStatus = Named(new LogBox(area), QStringLiteral("txtStatus"));
    lblStatus =
        MakeLabel(area, QStringLiteral("lblStatus"), QStringLiteral("Status:"), labelColour);
    for (std::size_t i = 0; i < Line1.size(); ++i) {
        Line1[i] = Named(new SeparatorLine(area), QStringLiteral("Line1_%1").arg(i));
        Line1[i]->SetColour(QColor(0, 0, 255));
        // A line is drawn on the window's surface, beneath the controls (the chat input covers
        // line 0).
        Line1[i]->lower();
    }
    picCanvas = Named(new CanvasWidget(state_, area), QStringLiteral("picCanvas"));
    lblDraw = MakeLabel(area, QStringLiteral("lblDraw"),
                        QStringLiteral("Do your drawings down here."), labelColour);
    btnClear = Named(new QPushButton(QStringLiteral("Clear"), area), QStringLiteral("btnClear"));
    btnClear->setAutoDefault(false);
    connect(btnClear, &QPushButton::clicked, this, &frmMain::btnClear_Click);
    CreatePalette();
    MainLayout::Apply(*area);
    for (ColourBox* box : txtclrCustom) {
        box->FitThreeDigits();
        connect(box, &QLineEdit::textChanged, this, &frmMain::txtclrCustom_Change);
    }
}

void frmMain::CreatePalette() {
    for (std::size_t i = 0; i < picCol.size(); ++i) {
        picCol[i] = Named(new ColourSwatch(clientArea_), QStringLiteral("picCol_%1").arg(i));
        connect(picCol[i], &ColourSwatch::clicked, this,
                [this, i] { picCol_Click(static_cast<int>(i)); });
    }
    for (std::size_t i = 0; i < txtclrCustom.size(); ++i) {
        txtclrCustom[i] =
            Named(new ColourBox(clientArea_), QStringLiteral("txtclrCustom_%1").arg(i));
    }
}

void frmMain::SetSwatchColours() {
    // Upper and lower row in turn, as the palette has always been filled.
    for (std::size_t i = 0; i < 8; ++i) {
        for (std::size_t index : {i, i + 8}) {
            picCol[index]->SetColour(ColourSwatch::PaletteColour(index));
        }
    }
}

void frmMain::SetTabOrder() {
    std::vector<QWidget*> order{txtChatBox, txtChatSend, listUsers, txtStatus, picCanvas};
    order.insert(order.end(), picCol.begin(), picCol.end());
    order.push_back(btnClear);
    order.insert(order.end(), txtclrCustom.begin(), txtclrCustom.end());
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void frmMain::InitConnection() {
    const QString role =
        state_.nMode == Mode::Server ? QStringLiteral(" (Server)") : QStringLiteral(" (Client)");
    setWindowTitle(windowTitle() + QStringLiteral(" - ") + Utf8(state_.szNick) + role);
    host_->Start();
}

void frmMain::ShowModal() {
    modal_.Run(*this, state_);
    // A closed window holds no connection any more. The session is not on the stack here: the
    // loop above only returns once every handler it ran has finished.
    host_.reset();
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    rejoin_.WindowShown();
    // The window system may add its frame only once the window is mapped.
    QTimer::singleShot(0, this, &frmMain::FitOuterSize);
}

void frmMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // A window manager that frames the window moves it; the frame's size is known from then on.
    FitOuterSize();
}

void frmMain::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    // Minimising also sends a hide event, but the window stays visible then.
    if (!isVisible()) {
        modal_.Quit();
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A close request is never refused: without bReset it ends the program on its way.
    if (!bReset && !bExiting_ && !state_.Ended()) {
        mnuFile_Exit_Click();
    }
    event->accept();
}

void frmMain::mnuFile_Restart_Click() {
    bReset = true;
    close();
}

void frmMain::JoinAgain() {
    bJoinAgain = true;
    bReset = true;
    close();
}

void frmMain::mnuFile_Exit_Click() {
    if (bExiting_) {
        return;
    }
    bExiting_ = true;
    if (host_) {
        host_->Session().CloseForExit();
    }
    QCoreApplication::processEvents();
    state_.EndProgram();
    // The program normally ends inside EndProgram; when it does not, the window still closes so
    // that the modal showing returns.
    close();
}

void frmMain::txtChatSend_Enter() {
    if (host_) {
        host_->SendChat(Bytes(txtChatSend->text()));
    }
    txtChatSend->clear();
}

void frmMain::btnClear_Click() {
    if (host_) {
        host_->ClearCanvas();
    } else {
        picCanvas->Erase();
    }
}

void frmMain::picCol_Click(int index) {
    for (ColourSwatch* swatch : picCol) {
        swatch->SetMarked(false);
    }
    ColourSwatch* chosen = picCol[static_cast<std::size_t>(index)];
    state_.lDrawColor = chosen->ColourValue();
    chosen->SetMarked(true);
}

void frmMain::txtclrCustom_Change() {
    // Correcting a box changes its text, which runs this handler again inside this one; the
    // outcome is the same.
    for (ColourBox* box : txtclrCustom) {
        box->CapAt255();
    }
    state_.lDrawColor =
        PackColour(txtclrCustom[0]->Part(), txtclrCustom[1]->Part(), txtclrCustom[2]->Part());
}

std::optional<SessionView::Picture> frmMain::KeptPicture() const {
    const CanvasWidget* canvas = picCanvas;
    return Picture{CanvasWidget::kInnerHeight, QColorToColour(canvas->Background()),
                   [canvas](int y, std::vector<int32_t>& row) { canvas->ReadRow(y, row); }};
}

void frmMain::SlotClosed(int16_t iUser) {
    if (hostMenu_ != nullptr) {
        hostMenu_->SlotClosed(iUser);
    }
}

void frmMain::SendToChatBox(const std::string& szMessage) {
    txtChatBox->AddLine(Utf8(szMessage));
}

void frmMain::Status(const std::string& szMessage) {
    txtStatus->AddLine(Utf8(szMessage));
}

void frmMain::DrawSegment(const DrawRecord& record) {
    picCanvas->DrawSegment(record.sx, record.sy, record.dx, record.dy, record.clr);
}

void frmMain::EraseCanvas() {
    picCanvas->Erase();
}

std::size_t frmMain::PictureRecordsSent() const {
    return host_ ? host_->PictureRecordsSent() : 0;
}

std::size_t frmMain::PictureBytesSent() const {
    return host_ ? host_->PictureBytesSent() : 0;
}

QString frmMain::ChatText() const {
    return txtChatBox->Text();
}

QString frmMain::StatusText() const {
    return txtStatus->Text();
}

} // namespace zaplo
