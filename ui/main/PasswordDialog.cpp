// SPDX-License-Identifier: MIT
#include "ui/main/PasswordDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zaplo {

PasswordDialog::PasswordDialog(bool bWrong, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgPassword"));
    setWindowTitle(QStringLiteral("Zaplo"));
    setModal(true);
    setMinimumWidth(320);
    auto* layout = new QVBoxLayout(this);
    lblWrong_ = new QLabel(QStringLiteral("Wrong password."), this);
    lblWrong_->setObjectName(QStringLiteral("lblWrong"));
    lblWrong_->setTextFormat(Qt::PlainText);
    lblWrong_->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    lblWrong_->setVisible(bWrong);
    layout->addWidget(lblWrong_);
    lblPrompt_ = new QLabel(QStringLiteral("This session needs a password."), this);
    lblPrompt_->setObjectName(QStringLiteral("lblPrompt"));
    lblPrompt_->setTextFormat(Qt::PlainText);
    layout->addWidget(lblPrompt_);
    txtPassword_ = new QLineEdit(this);
    txtPassword_->setObjectName(QStringLiteral("txtPassword"));
    txtPassword_->setEchoMode(QLineEdit::Password);
    // Kept out of input methods and their dictionaries.
    txtPassword_->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData |
                                      Qt::ImhNoPredictiveText);
    layout->addWidget(txtPassword_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    btnOK_ = buttons->button(QDialogButtonBox::Ok);
    btnOK_->setObjectName(QStringLiteral("btnOK"));
    btnOK_->setDefault(true);
    btnOK_->setEnabled(false);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // No session has an empty password: OK waits for something to send.
    connect(txtPassword_, &QLineEdit::textChanged, this,
            [this](const QString& text) { btnOK_->setEnabled(!text.isEmpty()); });
    layout->addWidget(buttons);
    txtPassword_->setFocus();
}

std::string PasswordDialog::Password() const {
    return txtPassword_->text().toUtf8().toStdString();
}

} // namespace zaplo
