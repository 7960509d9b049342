// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zaplo {

// File > Session Password... on the server: sets a password for the running session, changes
// it, or removes it. The new password is typed twice, without showing its characters; it
// applies to users who join from then on.
class SessionPasswordDialog : public QDialog {
    Q_OBJECT
public:
    enum class Choice { Keep, Set, Remove };

    // bHasPassword: the session has one now, so it can be removed.
    explicit SessionPasswordDialog(bool bHasPassword, QWidget* parent = nullptr);

    // What the user chose once the dialog has closed; Keep after Cancel.
    Choice Chosen() const { return choice_; }
    // The new password, as UTF-8 (Set).
    std::string Password() const;

private:
    void Check();

    Choice choice_ = Choice::Keep;
    QLineEdit* txtPassword_ = nullptr;
    QLineEdit* txtRepeat_ = nullptr;
    QLabel* lblHint_ = nullptr;
    QPushButton* btnSet_ = nullptr;
};

} // namespace zaplo
