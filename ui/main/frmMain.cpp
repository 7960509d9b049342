#include "ui/main/frmMain.h"

#include "base/AppState.h"
#include "base/Colour.h"
#include "net/NetSession.h"
#include "net/SendQueue.h"
#include "net/core/LenientNumber.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/ChatInput.h"
#include "ui/main/ClientArea.h"
#include "ui/main/ColourSwatch.h"
#include "ui/main/LogBox.h"
#include "ui/main/SeparatorLine.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace zaplo {

namespace {

const QString kCaption = QStringLiteral("Zaplo\u00AE BETA");
const QString kNotice = QStringLiteral("draw and chat together");

// Per row of listUsers: the slot it belongs to, and the nickname exactly as it arrived.
constexpr int kSlotRole = Qt::UserRole;
constexpr int kNickRole = Qt::UserRole + 1;

struct Rgb {
    int r, g, b;
};
constexpr std::array<Rgb, 16> kSwatchColours{{{0, 0, 0},
                                              {100, 100, 100},
                                              {215, 70, 1},
                                              {1, 215, 70},
                                              {70, 1, 215},
                                              {200, 200, 0},
                                              {2, 167, 182},
                                              {202, 2, 190},
                                              {255, 255, 255},
                                              {155, 155, 155},
                                              {255, 0, 0},
                                              {0, 255, 0},
                                              {0, 0, 255},
                                              {255, 255, 50},
                                              {0, 247, 250},
                                              {233, 115, 247}}};

// "MS Sans Serif" 8.25 pt bold, or the nearest sans-serif face at that size.
QFont BoldSansFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(true);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, const QColor& colour) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setAutoFillBackground(false); // the black window shows through
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Bytes(const QString& text) {
    return text.toUtf8().toStdString();
}

// One part of a colour typed into a custom box: rounded half to even, never outside 0..255.
int ColourPart(const QString& text) {
    const double v = RoundHalfEven(ReadLenientNumber(Bytes(text)));
    if (!(v > 0)) {
        return 0;
    }
    return v >= 255 ? 255 : static_cast<int>(v);
}

// The custom boxes are narrow: where the style's frame and padding leave too little room for
// three digits, the text may use some of the padding, so a typed "255" is shown whole.
void FitThreeDigits(QLineEdit* box) {
    QStyleOptionFrame option;
    option.initFrom(box);
    option.rect = QRect(QPoint(0, 0), box->size());
    option.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box);
    const int contents =
        box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box).width();
    const int padding = 2 * 2; // QLineEdit keeps 2 pixels on either side of the text
    const int needed = box->fontMetrics().horizontalAdvance(QStringLiteral("888"));
    const int missing = needed - (contents - padding);
    if (missing > 0) {
        const int side = std::min((missing + 1) / 2, 2);
        box->setTextMargins(-side, 0, -side, 0);
    }
}

} // namespace

frmMain::frmMain(AppState& state, QWidget* parent) : QMainWindow(parent), state_(state) {
    // 1. A new window never starts with the previous session's outcome.
    bReset = false;
    setAttribute(Qt::WA_DeleteOnClose, false);

    // 2. Caption.
    setWindowTitle(kCaption + QStringLiteral(" - ") + kNotice);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    const QString iconPath = QStringLiteral(":/assets/icon.png");
    if (QFile::exists(iconPath)) {
        setWindowIcon(QIcon(iconPath));
    }

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

    // The session owns the sockets and the send timer; it goes away with the window.
    state_.nUsers = 0;
    session_ = std::make_unique<NetSession>(state_, *this);
    session_->onConnectFailed = [this] {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Zaplo"),
                        QStringLiteral("Connection failed!"), QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        bReset = true;
    };

    // 6. Start the connection, as the last step.
    InitConnection();
}

frmMain::~frmMain() {
    // The session may still report to the window while it shuts down, so it goes first.
    session_.reset();
}

void frmMain::CreateMenu() {
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFile_Restart = mnuFile->addAction(QStringLiteral("&Reset"));
    mnuFile_Restart->setObjectName(QStringLiteral("mnuFile_Restart"));
    QAction* mnuTick = mnuFile->addSeparator();
    mnuTick->setObjectName(QStringLiteral("mnuTick"));
    mnuFile_Exit = mnuFile->addAction(QStringLiteral("E&xit"));
    mnuFile_Exit->setObjectName(QStringLiteral("mnuFile_Exit"));
    connect(mnuFile_Restart, &QAction::triggered, this, &frmMain::mnuFile_Restart_Click);
    connect(mnuFile_Exit, &QAction::triggered, this, &frmMain::mnuFile_Exit_Click);
}

void frmMain::FitOuterSize() {
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const int clientWidth = std::max(kMinClientWidth, kOuterWidth - frame.left() - frame.right());
    int menuHeight = menuBar()->heightForWidth(clientWidth);
    if (menuHeight <= 0) {
        menuHeight = menuBar()->sizeHint().height();
    }
    const int clientHeight =
        std::max(kMinClientHeight, kOuterHeight - frame.top() - frame.bottom() - menuHeight);
    setFixedSize(clientWidth, clientHeight + menuHeight);
}

void frmMain::CreateControls() {
    QWidget* area = clientArea_;

    txtChatBox = new LogBox(area);
    txtChatBox->setObjectName(QStringLiteral("txtChatBox"));
    txtChatBox->setGeometry(5, 5, 200, 395);

    // Its top is the chat box's height plus 10, not its bottom edge plus 10.
    txtChatSend = new ChatInput(area);
    txtChatSend->setObjectName(QStringLiteral("txtChatSend"));
    txtChatSend->setFont(BoldSansFont());
    txtChatSend->setGeometry(txtChatBox->x(), txtChatBox->height() + 10,
                             txtChatBox->width() + 150 + 10, 19);
    connect(txtChatSend, &ChatInput::enterPressed, this, &frmMain::txtChatSend_Enter);

    listUsers = new QListWidget(area);
    listUsers->setObjectName(QStringLiteral("listUsers"));
    listUsers->setSortingEnabled(false);
    listUsers->setFont(BoldSansFont());
    {
        QPalette palette = listUsers->palette();
        palette.setColor(QPalette::Text, QColor(25, 25, 210));
        listUsers->setPalette(palette);
    }
    listUsers->setGeometry(txtChatBox->x() + txtChatBox->width() + 10, txtChatBox->y() + 15, 150,
                           290);

    lblUserList = MakeLabel(area, QStringLiteral("lblUserList"), QStringLiteral("Session Users:"),
                            QColor(125, 25, 250));
    lblUserList->adjustSize();
    lblUserList->move(listUsers->x(), 5);

    txtStatus = new LogBox(area);
    txtStatus->setObjectName(QStringLiteral("txtStatus"));
    txtStatus->setGeometry(listUsers->x(), listUsers->y() + listUsers->height() + 5 + 15,
                           listUsers->width(), 70);

    lblStatus = MakeLabel(area, QStringLiteral("lblStatus"), QStringLiteral("Status:"),
                          QColor(125, 80, 250));
    lblStatus->adjustSize();
    lblStatus->move(txtStatus->x(), txtStatus->y() - 15);

    // The separators run 480 pixels down from y 5, past the client area's bottom edge.
    const int lineTop = 5;
    const int lineBottom = lineTop + 480;
    const std::array<int, 2> lineX{txtChatBox->x() + txtChatBox->width() + 7,
                                   listUsers->x() + listUsers->width() + 7};
    for (std::size_t i = 0; i < Line1.size(); ++i) {
        Line1[i] = new SeparatorLine(area);
        Line1[i]->setObjectName(QStringLiteral("Line1_%1").arg(i));
        Line1[i]->SetColour(QColor(0, 0, 255));
        Line1[i]->setGeometry(lineX[i], lineTop, 1, lineBottom - lineTop);
        // A line is drawn on the window's surface, beneath the controls (the chat input covers
        // line 0).
        Line1[i]->lower();
    }

    picCanvas = new CanvasWidget(state_, area);
    picCanvas->setObjectName(QStringLiteral("picCanvas"));
    picCanvas->setGeometry(listUsers->x() + listUsers->width() + 12, 20,
                           CanvasWidget::kInnerWidth + 2 * CanvasWidget::kBorder,
                           CanvasWidget::kInnerHeight + 2 * CanvasWidget::kBorder);

    lblDraw = MakeLabel(area, QStringLiteral("lblDraw"),
                        QStringLiteral("Do your drawings down here."), QColor(125, 80, 250));
    lblDraw->adjustSize();
    lblDraw->move(picCanvas->x(), 5);

    const int belowCanvas = picCanvas->y() + CanvasWidget::kInnerHeight + 5;
    btnClear = new QPushButton(QStringLiteral("Clear"), area);
    btnClear->setObjectName(QStringLiteral("btnClear"));
    btnClear->setAutoDefault(false);
    btnClear->setGeometry(picCanvas->x(), belowCanvas, 73, 25);
    connect(btnClear, &QPushButton::clicked, this, &frmMain::btnClear_Click);

    // Swatches have no border, so their inner size is their size.
    for (int i = 0; i < 16; ++i) {
        auto* swatch = new ColourSwatch(area);
        swatch->setObjectName(QStringLiteral("picCol_%1").arg(i));
        picCol[static_cast<std::size_t>(i)] = swatch;
        connect(swatch, &ColourSwatch::clicked, this, [this, i] { picCol_Click(i); });
    }
    picCol[0]->setGeometry(btnClear->x() + btnClear->width() + 2, belowCanvas, 20, 20);
    picCol[8]->setGeometry(picCol[0]->x(), picCol[0]->y() + picCol[0]->height() + 1, 20, 20);
    for (std::size_t i = 1; i < 8; ++i) {
        const ColourSwatch* left = picCol[i - 1];
        picCol[i]->setGeometry(left->x() + left->width() + 2, picCol[0]->y(), 20, 20);
    }
    for (std::size_t i = 9; i < 16; ++i) {
        const ColourSwatch* left = picCol[i - 1];
        picCol[i]->setGeometry(left->x() + left->width() + 2, picCol[8]->y(), 20, 20);
    }

    // The custom boxes touch each other.
    const int boxTop = btnClear->y() + btnClear->height() + 5;
    for (std::size_t i = 0; i < txtclrCustom.size(); ++i) {
        auto* box = new QLineEdit(area);
        box->setObjectName(QStringLiteral("txtclrCustom_%1").arg(i));
        box->setMaxLength(3);
        const int left =
            i == 0 ? picCanvas->x() : txtclrCustom[i - 1]->x() + txtclrCustom[i - 1]->width();
        box->setGeometry(left, boxTop, 25, 19);
        FitThreeDigits(box);
        txtclrCustom[i] = box;
    }
    for (QLineEdit* box : txtclrCustom) {
        connect(box, &QLineEdit::textChanged, this, &frmMain::txtclrCustom_Change);
    }
}

void frmMain::SetSwatchColours() {
    // Upper and lower row in turn, as the palette has always been filled.
    for (std::size_t i = 0; i < 8; ++i) {
        for (std::size_t index : {i, i + 8}) {
            const Rgb& c = kSwatchColours[index];
            picCol[index]->SetColour(QColor(c.r, c.g, c.b));
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
    const QString nick = Utf8(state_.szNick);
    if (state_.nMode == Mode::Server) {
        setWindowTitle(windowTitle() + QStringLiteral(" - ") + nick + QStringLiteral(" (Server)"));
        AddUsername(state_.szNick, 0);
        session_->ServerWait();
    } else {
        setWindowTitle(windowTitle() + QStringLiteral(" - ") + nick + QStringLiteral(" (Client)"));
        session_->ClientConnect();
        ClientServerSendMessage(MessageCode::Join, state_.szNick);
    }
}

void frmMain::ShowModal() {
    if (!state_.Ended()) {
        setWindowModality(Qt::ApplicationModal);
        show();
        QEventLoop loop;
        modalLoop_ = &loop;
        // Whatever ends the program also ends this showing.
        QTimer endWatch;
        connect(&endWatch, &QTimer::timeout, &loop, [this, &loop] {
            if (state_.Ended()) {
                loop.quit();
            }
        });
        endWatch.start(20);
        if (isVisible() && !state_.Ended()) {
            loop.exec();
        }
        modalLoop_ = nullptr;
    }
    // A closed window holds no connection any more. The session is not on the stack here: the
    // loop above only returns once every handler it ran has finished.
    session_.reset();
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
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
    if (modalLoop_ != nullptr && !isVisible()) {
        modalLoop_->quit();
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

void frmMain::mnuFile_Exit_Click() {
    if (bExiting_) {
        return;
    }
    bExiting_ = true;
    if (session_) {
        session_->CloseForExit();
    }
    QCoreApplication::processEvents();
    state_.EndProgram();
    // The program normally ends inside EndProgram; when it does not, the window still closes so
    // that the modal showing returns.
    close();
}

void frmMain::txtChatSend_Enter() {
    std::string szLine = "{" + state_.szNick + "}" + Bytes(txtChatSend->text());
    // A CR LF inside the line would end the message early and turn the rest into a message of
    // its own; pasted line breaks travel as blanks.
    std::replace_if(
        szLine.begin(), szLine.end(), [](char ch) { return ch == '\r' || ch == '\n'; }, ' ');
    if (state_.nMode == Mode::Server) {
        SendToChatBox(szLine);
    }
    ClientServerSendMessage(MessageCode::Chat, szLine);
    txtChatSend->clear();
}

void frmMain::btnClear_Click() {
    picCanvas->Erase();
    ClientServerSendMessage(MessageCode::Clear, "");
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
    for (QLineEdit* box : txtclrCustom) {
        if (ReadLenientNumber(Bytes(box->text())) > 255) {
            box->setText(QStringLiteral("255"));
        }
    }
    state_.lDrawColor =
        PackColour(ColourPart(txtclrCustom[0]->text()), ColourPart(txtclrCustom[1]->text()),
                   ColourPart(txtclrCustom[2]->text()));
}

void frmMain::SendToChatBox(const std::string& szMessage) {
    txtChatBox->AddLine(Utf8(szMessage));
}

void frmMain::Status(const std::string& szMessage) {
    txtStatus->AddLine(Utf8(szMessage));
}

void frmMain::AddUsername(const std::string& szUser, int16_t iSlot) {
    auto* row = new QListWidgetItem(Utf8(szUser));
    row->setData(kSlotRole, static_cast<int>(iSlot));
    row->setData(kNickRole, QByteArray(szUser.data(), static_cast<qsizetype>(szUser.size())));
    listUsers->addItem(row);
}

void frmMain::RemoveUsername(int16_t iUser) {
    for (int i = 0; i < listUsers->count(); ++i) {
        if (listUsers->item(i)->data(kSlotRole).toInt() == iUser) {
            delete listUsers->takeItem(i);
            return;
        }
    }
}

std::optional<std::string> frmMain::SlotNickname(int16_t iUser) const {
    for (int i = 0; i < listUsers->count(); ++i) {
        const QListWidgetItem* row = listUsers->item(i);
        if (row->data(kSlotRole).toInt() == iUser) {
            return row->data(kNickRole).toByteArray().toStdString();
        }
    }
    return std::nullopt;
}

void frmMain::RefreshUserlist() {
    listUsers->clear();
}

std::vector<std::string> frmMain::UserRows() const {
    std::vector<std::string> rows;
    rows.reserve(static_cast<std::size_t>(listUsers->count()));
    for (int i = 0; i < listUsers->count(); ++i) {
        rows.push_back(listUsers->item(i)->data(kNickRole).toByteArray().toStdString());
    }
    return rows;
}

void frmMain::DrawSegment(const DrawRecord& record) {
    picCanvas->DrawSegment(record.sx, record.sy, record.dx, record.dy, record.clr);
}

void frmMain::EraseCanvas() {
    picCanvas->Erase();
}

int16_t frmMain::HighestSlot() const {
    return state_.nUsers;
}

void frmMain::ServerSendToClient(const std::string& szData, int16_t iUser) {
    if (session_) {
        session_->ServerSendToClient(szData, iUser);
    }
}

void frmMain::CloseSlot(int16_t iUser) {
    if (session_) {
        session_->CloseSlot(iUser);
    }
}

void frmMain::ClientServerSendMessage(MessageCode msg, const std::string& szData) {
    zaplo::ClientServerSendMessage(state_, msg, szData);
}

QString frmMain::ChatText() const {
    return txtChatBox->Text();
}

QString frmMain::StatusText() const {
    return txtStatus->Text();
}

} // namespace zaplo
