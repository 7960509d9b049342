// SPDX-License-Identifier: MIT
#include "ui/main/SessionPasswordDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zaplo {

namespace {

QLineEdit* SecretBox(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setEchoMode(QLineEdit::Password);
    box->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    return box;
}

} // namespace

SessionPasswordDialog::SessionPasswordDialog(bool bHasPassword, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgSessionPassword"));
    setWindowTitle(QStringLiteral("Session Password"));
    setModal(true);
    setMinimumWidth(380);
    auto* layout = new QVBoxLayout(this);
    auto* lblState =
        new QLabel(bHasPassword ? QStringLiteral("The session has a password. A new one, or none, "
                                                 "applies to users who join from now on; those "
                                                 "present stay.")
                                : QStringLiteral("Anyone who reaches the port may join. With a "
                                                 "password, users who join from now on must give "
                                                 "it; those present stay."),
                   this);
    lblState->setObjectName(QStringLiteral("lblState"));
    lblState->setTextFormat(Qt::PlainText);
    lblState->setWordWrap(true);
    layout->addWidget(lblState);

    auto* form = new QFormLayout();
    txtPassword_ = SecretBox(QStringLiteral("txtNewPassword"), this);
    txtRepeat_ = SecretBox(QStringLiteral("txtRepeatPassword"), this);
    form->addRow(bHasPassword ? QStringLiteral("New password:") : QStringLiteral("Password:"),
                 txtPassword_);
    form->addRow(QStringLiteral("Repeat it:"), txtRepeat_);
    layout->addLayout(form);
    lblHint_ = new QLabel(this);
    lblHint_->setObjectName(QStringLiteral("lblHint"));
    lblHint_->setTextFormat(Qt::PlainText);
    lblHint_->setStyleSheet(QStringLiteral("color: #c00000;"));
    layout->addWidget(lblHint_);

    auto* buttons = new QDialogButtonBox(this);
    btnSet_ = buttons->addButton(QStringLiteral("&Set Password"), QDialogButtonBox::AcceptRole);
    btnSet_->setObjectName(QStringLiteral("btnSetPassword"));
    btnSet_->setDefault(true);
    QPushButton* btnRemove =
        buttons->addButton(QStringLiteral("&Remove Password"), QDialogButtonBox::DestructiveRole);
    btnRemove->setObjectName(QStringLiteral("btnRemovePassword"));
    btnRemove->setAutoDefault(false);
    btnRemove->setEnabled(bHasPassword);
    QPushButton* btnCancel = buttons->addButton(QDialogButtonBox::Cancel);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    connect(btnSet_, &QPushButton::clicked, this, [this] {
        choice_ = Choice::Set;
        accept();
    });
    connect(btnRemove, &QPushButton::clicked, this, [this] {
        choice_ = Choice::Remove;
        accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(txtPassword_, &QLineEdit::textChanged, this, &SessionPasswordDialog::Check);
    connect(txtRepeat_, &QLineEdit::textChanged, this, &SessionPasswordDialog::Check);
    layout->addWidget(buttons);
    Check();
    txtPassword_->setFocus();
}

void SessionPasswordDialog::Check() {
    const QString typed = txtPassword_->text();
    const bool bSame = typed == txtRepeat_->text();
    btnSet_->setEnabled(!typed.isEmpty() && bSame);
    lblHint_->setText(!typed.isEmpty() && !txtRepeat_->text().isEmpty() && !bSame
                          ? QStringLiteral("The two passwords differ.")
                          : QString());
}

std::string SessionPasswordDialog::Password() const {
    return txtPassword_->text().toUtf8().toStdString();
}

} // namespace zaplo
