// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zaplo {

// Asks a client's user for the password of the session the host protects: one box that shows
// no characters, OK and Cancel. After a refused answer it says "Wrong password." above the box.
class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    explicit PasswordDialog(bool bWrong, QWidget* parent = nullptr);

    // What was typed, as UTF-8.
    std::string Password() const;

private:
    QLabel* lblPrompt_ = nullptr;
    QLabel* lblWrong_ = nullptr;
    QLineEdit* txtPassword_ = nullptr;
    QPushButton* btnOK_ = nullptr;
};

} // namespace zaplo
