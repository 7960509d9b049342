// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

namespace zaplo {

class AppState;
class FaceButton;

// The connection settings dialog: nickname, port and, in client mode, the server's address.
// OK stores them in the AppState; Cancel and the close box leave the settings as they were.
class frmIP : public QDialog {
    Q_OBJECT
public:
    explicit frmIP(AppState& state, QWidget* parent = nullptr);

    // Shows the dialog modally; returns once it has been hidden or closed.
    void ShowModal();

    // True once the close box was used: the owner discards this dialog and makes a fresh one for
    // the next showing.
    bool Destroyed() const { return bDestroyed_; }
    // True while OK is refused because the port cannot be stored.
    bool PortRefused() const { return bPortRefused_; }

    bool bCanceled = false;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateLabels();
    void CreateTextBoxes();
    void CreatePortHint();
    void CreateButtons();
    void btnOK_Click();
    void btnCancel_Click();
    void txtPort_Change();
    void SetPortRefused(bool bRefused);

    AppState& state_;
    QLabel* Label3 = nullptr;
    QLineEdit* txtNick = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txtIP = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtPort = nullptr;
    QLabel* lblPortHint = nullptr;
    FaceButton* btnOK = nullptr;
    FaceButton* btnCancel = nullptr;

    bool bShownBefore_ = false;
    bool bDestroyed_ = false;
    bool bPortRefused_ = false;
};

} // namespace zaplo
