// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace zaplo {

class SessionHost;

// File > Bans... on the server: the addresses banned from the running session, in the order
// they were banned, and Lift Ban for the selected one. Bans last as long as the session.
class BanListDialog : public QDialog {
    Q_OBJECT
public:
    explicit BanListDialog(SessionHost& host, QWidget* parent = nullptr);

private:
    void Fill();
    void LiftSelected();

    SessionHost& host_;
    QListWidget* lstBans_ = nullptr;
    QLabel* lblNone_ = nullptr;
    QPushButton* btnLift_ = nullptr;
};

} // namespace zaplo
