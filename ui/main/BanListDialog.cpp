// SPDX-License-Identifier: MIT
#include "ui/main/BanListDialog.h"

#include "net/SessionHost.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

namespace zaplo {

BanListDialog::BanListDialog(SessionHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    setObjectName(QStringLiteral("dlgBans"));
    setWindowTitle(QStringLiteral("Bans"));
    setModal(true);
    setMinimumSize(340, 260);
    auto* layout = new QVBoxLayout(this);
    auto* lblAbout = new QLabel(QStringLiteral("Connections from these addresses are refused "
                                               "until the session ends:"),
                                this);
    lblAbout->setTextFormat(Qt::PlainText);
    lblAbout->setWordWrap(true);
    layout->addWidget(lblAbout);
    lstBans_ = new QListWidget(this);
    lstBans_->setObjectName(QStringLiteral("lstBans"));
    lstBans_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(lstBans_);
    lblNone_ = new QLabel(QStringLiteral("No address is banned."), this);
    lblNone_->setObjectName(QStringLiteral("lblNoBans"));
    lblNone_->setTextFormat(Qt::PlainText);
    layout->addWidget(lblNone_);

    auto* buttons = new QDialogButtonBox(this);
    btnLift_ = buttons->addButton(QStringLiteral("&Lift Ban"), QDialogButtonBox::ActionRole);
    btnLift_->setObjectName(QStringLiteral("btnLiftBan"));
    btnLift_->setAutoDefault(false);
    QPushButton* btnClose = buttons->addButton(QDialogButtonBox::Close);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnLift_, &QPushButton::clicked, this, &BanListDialog::LiftSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(lstBans_, &QListWidget::itemSelectionChanged, this,
            [this] { btnLift_->setEnabled(!lstBans_->selectedItems().isEmpty()); });
    layout->addWidget(buttons);
    Fill();
}

void BanListDialog::Fill() {
    lstBans_->clear();
    for (const std::string& szBan : host_.Access().Bans()) {
        // QListWidget items are plain text.
        lstBans_->addItem(QString::fromUtf8(szBan.data(), static_cast<qsizetype>(szBan.size())));
    }
    lblNone_->setVisible(lstBans_->count() == 0);
    btnLift_->setEnabled(!lstBans_->selectedItems().isEmpty());
}

void BanListDialog::LiftSelected() {
    const QList<QListWidgetItem*> selected = lstBans_->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const int iRow = lstBans_->row(selected.constFirst());
    host_.Access().Unban(selected.constFirst()->text().toUtf8().toStdString());
    Fill();
    // The next ban down is ready to be lifted too.
    if (lstBans_->count() > 0) {
        lstBans_->setCurrentRow(std::min(iRow, lstBans_->count() - 1));
    }
}

} // namespace zaplo
