// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <functional>

class QAction;
class QImage;
class QMenu;
class QWidget;

namespace zaplo {

class AppState;

// The File menu's picture items: "Save Picture..." (a PNG file, through a file dialog that
// starts in the folder last saved to in this run) and "Copy Picture" (to the clipboard). Each
// takes the picture as it is when the item is chosen.
class PictureMenu : public QObject {
    Q_OBJECT
public:
    using Picture = std::function<const QImage&()>;

    // Adds both items to menu; dialogs and message boxes open over window.
    PictureMenu(QMenu& menu, QWidget& window, AppState& state, Picture picture);

private:
    void mnuSavePicture_Click();
    void mnuCopyPicture_Click();

    QWidget& window_;
    AppState& state_;
    Picture picture_;
};

} // namespace zaplo
