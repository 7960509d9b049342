// SPDX-License-Identifier: MIT
#include "ui/connect/frmIP.h"

#include "base/AppState.h"
#include "net/core/LenientNumber.h"
#include "ui/connect/FaceButton.h"

#include <QCloseEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>

#include <array>

namespace zaplo {

namespace {

constexpr int kClientWidth = 218;
constexpr int kClientHeight = 109;
constexpr int16_t kDefaultPort = 201;
const char* const kDefaultServerIP = "127.0.0.1";
constexpr int kLabelLeft = 8;
constexpr int kBoxLeft = 64;  // nickname and address boxes
constexpr int kPortLeft = 40; // port box
constexpr int kLabelGap = 2;  // keeps a colon off the box's border
constexpr qreal kSmallestPoints = 6.0;

struct LabelRow {
    const char* szName;
    const char* szText;
    QPoint at;
};
constexpr std::array<LabelRow, 3> kLabels{{
    {"Label3", "Nickname:", {kLabelLeft, 16}},
    {"Label1", "Server IP:", {kLabelLeft, 42}},
    {"Label2", "Port:", {kLabelLeft, 72}},
}};

struct TextBoxRow {
    const char* szName;
    QRect at;
    QRgb clrBack;
};
constexpr std::array<TextBoxRow, 3> kTextBoxes{{
    {"txtNick", {kBoxLeft, 16, 137, 19}, qRgb(64, 64, 64)},
    {"txtIP", {kBoxLeft, 40, 137, 19}, qRgb(64, 64, 64)},
    {"txtPort", {kPortLeft, 72, 65, 19}, qRgb(0, 64, 64)},
}};

struct ButtonRow {
    const char* szName;
    const char* szCaption;
    const char* szFace;
    QRect at;
};
constexpr std::array<ButtonRow, 2> kButtons{{
    {"btnOK", "OK", ":/assets/btnok.png", {112, 72, 49, 33}},
    {"btnCancel", "CANCEL", ":/assets/btncancel.png", {160, 72, 49, 33}},
}};

// The labels stand in fixed cells left of their boxes. The sans-serif face that stands in for the
// original one is wider, so the size steps down until every caption fits its cell whole.
QFont LabelFont() {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    const std::pair<const char*, int> cells[] = {{"Nickname:", kBoxLeft - kLabelLeft - kLabelGap},
                                                 {"Server IP:", kBoxLeft - kLabelLeft - kLabelGap},
                                                 {"Port:", kPortLeft - kLabelLeft - kLabelGap}};
    for (qreal pt = 8.25; pt >= kSmallestPoints; pt -= 0.25) {
        font.setPointSizeF(pt);
        const QFontMetricsF metrics(font);
        bool bFits = true;
        for (const auto& [szText, nCell] : cells) {
            bFits = bFits && metrics.horizontalAdvance(QLatin1String(szText)) <= nCell;
        }
        if (bFits) {
            break;
        }
    }
    return font;
}

QLabel* MakeLabel(QWidget* parent, const char* szName, const QString& szText, QPoint ptAt) {
    auto* label = new QLabel(szText, parent);
    label->setObjectName(QLatin1String(szName));
    label->setTextFormat(Qt::PlainText);
    label->setAutoFillBackground(false);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(128, 128, 255));
    label->setPalette(pal);
    label->move(ptAt);
    label->adjustSize();
    return label;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* szName, const QRect& rcAt, QColor clrBack) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(szName));
    box->setGeometry(rcAt);
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, clrBack);
    pal.setColor(QPalette::Text, QColor(192, 192, 255));
    box->setPalette(pal);
    return box;
}

} // namespace

frmIP::frmIP(AppState& state, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      state_(state) {
    setObjectName(QStringLiteral("frmIP"));
    setWindowTitle(QStringLiteral("Connection Settings"));
    setSizeGripEnabled(false);

    setFont(LabelFont());

    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    CreateLabels();
    CreateTextBoxes();
    CreatePortHint();
    CreateButtons();

    setTabOrder(txtIP, txtPort);
    setTabOrder(txtPort, btnCancel);
    setTabOrder(btnCancel, btnOK);
    setTabOrder(btnOK, txtNick);

    connect(btnOK, &QAbstractButton::clicked, this, &frmIP::btnOK_Click);
    connect(btnCancel, &QAbstractButton::clicked, this, &frmIP::btnCancel_Click);
    connect(txtPort, &QLineEdit::textChanged, this, &frmIP::txtPort_Change);

    // Qt measures the client area, so the fixed size is exactly what remains below the title.
    // Placing it here also keeps QDialog from guessing the frame on the first showing, which
    // put the dialog off centre.
    setFixedSize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
    }
}

void frmIP::CreateLabels() {
    // Labels first: they lie under the boxes where a long caption would reach them.
    std::array<QLabel*, kLabels.size()> labels{};
    for (std::size_t i = 0; i < kLabels.size(); ++i) {
        const LabelRow& row = kLabels[i];
        labels[i] = MakeLabel(this, row.szName, QString::fromLatin1(row.szText), row.at);
    }
    Label3 = labels[0];
    Label1 = labels[1];
    Label2 = labels[2];
}

void frmIP::CreateTextBoxes() {
    std::array<QLineEdit*, kTextBoxes.size()> boxes{};
    for (std::size_t i = 0; i < kTextBoxes.size(); ++i) {
        const TextBoxRow& row = kTextBoxes[i];
        boxes[i] = MakeTextBox(this, row.szName, row.at, QColor(row.clrBack));
    }
    txtNick = boxes[0];
    txtIP = boxes[1];
    txtPort = boxes[2];

    txtNick->setMaxLength(16);
    txtIP->setText(QLatin1String(kDefaultServerIP));
    txtPort->setMaxLength(6);
    txtPort->setText(QString::number(kDefaultPort));
    // The refused mark draws the whole box itself, so it names the box's colours too.
    txtPort->setStyleSheet(
        QStringLiteral("QLineEdit[bPortRefused=\"true\"] { border: 1px solid rgb(255, 0, 0);"
                       " background-color: rgb(0, 64, 64); color: rgb(192, 192, 255); }"));
    txtPort->setProperty("bPortRefused", false);
}

void frmIP::CreatePortHint() {
    // Names what OK refused; its text is set when a port is refused.
    lblPortHint = new QLabel(this);
    lblPortHint->setObjectName(QStringLiteral("lblPortHint"));
    lblPortHint->setTextFormat(Qt::PlainText);
    QPalette palHint = lblPortHint->palette();
    palHint.setColor(QPalette::WindowText, QColor(255, 96, 96));
    lblPortHint->setPalette(palHint);
    lblPortHint->move(kLabelLeft, 93);
    lblPortHint->setToolTip(
        QStringLiteral("The port is kept as a number from -32768 to 32767; a server can listen "
                       "on 1 to 32767. 0 or an empty box means 201."));
    lblPortHint->hide();
}

void frmIP::CreateButtons() {
    std::array<FaceButton*, kButtons.size()> buttons{};
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        const ButtonRow& row = kButtons[i];
        buttons[i] = new FaceButton(QString::fromLatin1(row.szFace),
                                    QString::fromLatin1(row.szCaption), this);
        buttons[i]->setObjectName(QLatin1String(row.szName));
        buttons[i]->setGeometry(row.at);
    }
    btnOK = buttons[0];
    btnCancel = buttons[1];
}

void frmIP::ShowModal() {
    exec();
}

void frmIP::showEvent(QShowEvent* event) {
    const bool bClient = state_.nMode != Mode::Server;
    Label1->setVisible(bClient);
    txtIP->setVisible(bClient);
    if (!bShownBefore_) {
        bShownBefore_ = true;
        (bClient ? txtIP : txtPort)->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(event);
}

void frmIP::closeEvent(QCloseEvent* event) {
    // The close box cancels like the Cancel button; the owner then discards the dialog.
    bCanceled = true;
    bDestroyed_ = true;
    event->accept();
}

void frmIP::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape do nothing here: no button is a default or cancel button.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void frmIP::btnOK_Click() {
    const double dPort =
        RoundHalfEven(ReadLenientNumber(txtPort->text().toStdString(), /*bExponent=*/true));
    // The port is kept as a 16-bit number; anything beyond that cannot be stored faithfully.
    if (!(dPort >= -32768.0 && dPort <= 32767.0)) {
        lblPortHint->setText(dPort < 0 ? QStringLiteral("Port below -32768")
                                       : QStringLiteral("Port above 32767"));
        lblPortHint->adjustSize();
        SetPortRefused(true);
        txtPort->setFocus(Qt::OtherFocusReason);
        return;
    }
    auto nPort = static_cast<int16_t>(dPort);
    state_.nPort = nPort == 0 ? kDefaultPort : nPort;
    state_.szServerIP =
        txtIP->text().isEmpty() ? std::string(kDefaultServerIP) : txtIP->text().toStdString();
    // A pasted line break would end the join message early; like in a chat line, it travels
    // as a blank.
    QString szNick = txtNick->text();
    szNick.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    state_.szNick = szNick.toStdString();
    bCanceled = false;
    hide();
}

void frmIP::btnCancel_Click() {
    bCanceled = true;
    hide();
}

void frmIP::txtPort_Change() {
    SetPortRefused(false);
}

void frmIP::SetPortRefused(bool bRefused) {
    if (bPortRefused_ == bRefused) {
        return;
    }
    bPortRefused_ = bRefused;
    txtPort->setProperty("bPortRefused", bRefused);
    txtPort->style()->unpolish(txtPort);
    txtPort->style()->polish(txtPort);
    txtPort->update();
    lblPortHint->setVisible(bRefused);
}

} // namespace zaplo
