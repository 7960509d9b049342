// SPDX-License-Identifier: MIT
#include "ui/main/WindowFrame.h"

#include <QFile>
#include <QIcon>
#include <QMainWindow>
#include <QMenuBar>
#include <QWindow>

#include <algorithm>

namespace zaplo {

namespace {

const QString kCaption = QStringLiteral("Zaplo\u00AE BETA");
const QString kNotice = QStringLiteral("draw and chat together");

} // namespace

void WindowFrame::Dress(QMainWindow& window) {
    window.setWindowTitle(kCaption + QStringLiteral(" - ") + kNotice);
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint);
    const QString iconPath = QStringLiteral(":/assets/icon.png");
    if (QFile::exists(iconPath)) {
        window.setWindowIcon(QIcon(iconPath));
    }
}

void WindowFrame::Fit(QMainWindow& window, const QSize& outer, const QSize& minClient) {
    const QWindow* handle = window.windowHandle();
    const QMargins frame = handle ? handle->frameMargins() : QMargins();
    const int clientWidth =
        std::max(minClient.width(), outer.width() - frame.left() - frame.right());
    int menuHeight = window.menuBar()->heightForWidth(clientWidth);
    if (menuHeight <= 0) {
        menuHeight = window.menuBar()->sizeHint().height();
    }
    const int clientHeight =
        std::max(minClient.height(), outer.height() - frame.top() - frame.bottom() - menuHeight);
    window.setFixedSize(clientWidth, clientHeight + menuHeight);
}

} // namespace zaplo
