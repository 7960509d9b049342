// SPDX-License-Identifier: MIT
#include "ui/main/PictureMenu.h"

#include "base/AppState.h"
#include "ui/main/PictureFile.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMessageBox>

#include <utility>

namespace zaplo {

PictureMenu::PictureMenu(QMenu& menu, QWidget& window, AppState& state, Picture picture)
    : QObject(&menu), window_(window), state_(state), picture_(std::move(picture)) {
    QAction* mnuSavePicture = menu.addAction(QStringLiteral("&Save Picture..."));
    mnuSavePicture->setObjectName(QStringLiteral("mnuSavePicture"));
    mnuSavePicture->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(mnuSavePicture, &QAction::triggered, this, &PictureMenu::mnuSavePicture_Click);
    QAction* mnuCopyPicture = menu.addAction(QStringLiteral("&Copy Picture"));
    mnuCopyPicture->setObjectName(QStringLiteral("mnuCopyPicture"));
    mnuCopyPicture->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(mnuCopyPicture, &QAction::triggered, this, &PictureMenu::mnuCopyPicture_Click);
}

void PictureMenu::mnuSavePicture_Click() {
    const std::string& szFolder = state_.szPictureFolder;
    QFileDialog dialog(&window_, QStringLiteral("Save Picture"),
                       QString::fromUtf8(szFolder.data(), static_cast<qsizetype>(szFolder.size())));
    dialog.setObjectName(QStringLiteral("dlgSavePicture"));
    // Qt's own dialog: a desktop's native one runs its own event loop, which would not serve
    // this program's sockets and timers while it is open.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("PNG pictures (*.png)"));
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(QStringLiteral("picture.png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString path = dialog.selectedFiles().constFirst();
    state_.szPictureFolder = QFileInfo(path).absolutePath().toUtf8().toStdString();
    // The picture as it is now: strokes may have arrived while the dialog was open.
    const QString why = PictureFile::SavePng(picture_(), path);
    if (!why.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Zaplo"),
                        QStringLiteral("The picture could not be saved to %1: %2")
                            .arg(QDir::toNativeSeparators(path), why),
                        QMessageBox::Ok, &window_);
        box.setObjectName(QStringLiteral("boxSaveFailed"));
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
}

void PictureMenu::mnuCopyPicture_Click() {
    QGuiApplication::clipboard()->setImage(picture_());
}

} // namespace zaplo
